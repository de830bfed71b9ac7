"""The writer thread on both backends: reports that wait during a commit share the next
transaction, each learns its outcome only once committed, and one report the database refuses
fails alone."""

import threading

import pytest

from collector import decode
from collector.writer import StoreFailed, WriterThread
from collector_client import make_payload

WAIT = 30


class HeldStore:
    """The real store, whose writer's first commit waits until release(): the writer is then
    busy the way a slow disk keeps it, and the test decides what arrives meanwhile."""

    def __init__(self, store):
        self._store = store
        self.in_first_commit = threading.Event()
        self._released = threading.Event()

    def release(self):
        self._released.set()

    def open_writer(self):
        writer = self._store.open_writer()
        commit = writer.commit

        def held_commit(*arguments):
            if not self.in_first_commit.is_set():
                self.in_first_commit.set()
                assert self._released.wait(WAIT)
            return commit(*arguments)
        writer.commit = held_commit
        return writer


def reports(count, device_prefix="device"):
    return [decode.decode_report(make_payload(device="%s-%d" % (device_prefix, index)), "10.0.0.1")
            for index in range(count)]


@pytest.fixture
def held(store):
    held_store = HeldStore(store)
    writer = WriterThread(held_store, log=lambda *line: None)
    yield held_store, writer
    held_store.release()
    writer.close()


def test_a_report_learns_its_outcome_only_once_its_transaction_is_committed(store, held):
    held_store, writer = held
    future = writer.submit_report(reports(1)[0])
    assert held_store.in_first_commit.wait(WAIT)
    assert not future.done() and store.count_events() == 0
    held_store.release()
    assert future.result(WAIT) is True
    assert store.count_events() == 1


def test_reports_arriving_during_a_commit_share_the_next_transaction(store, held):
    held_store, writer = held
    first = writer.submit_report(reports(1, "first")[0])
    assert held_store.in_first_commit.wait(WAIT)
    waiting = [writer.submit_report(report) for report in reports(299)]
    waiting.append(writer.submit_reject("10.0.0.9:1", "timeout", "0 of 6 bytes within 2 s"))
    held_store.release()
    assert first.result(WAIT) is True
    assert all(future.result(WAIT) is True for future in waiting)
    assert writer.transactions == 2 and writer.stored == 300
    assert store.count_events() == 300 and store.reject_counts() == {"timeout": 1}


def test_a_report_the_database_refuses_fails_alone(store, held):
    held_store, writer = held
    writer.submit_report(reports(1, "first")[0])
    assert held_store.in_first_commit.wait(WAIT)
    good_before, refused, good_after = reports(3)
    refused.events[0]["device"] = None  # NOT NULL: the database refuses the row
    futures = [writer.submit_report(report) for report in (good_before, refused, good_after)]
    held_store.release()
    assert futures[0].result(WAIT) is True and futures[2].result(WAIT) is True
    with pytest.raises(StoreFailed):
        futures[1].result(WAIT)
    assert sorted(row["device"] for row in store.events()) == ["device-0", "device-2", "first-0"]


def test_close_commits_everything_submitted_before_it(store):
    writer = WriterThread(store, log=lambda *line: None)
    futures = [writer.submit_report(report) for report in reports(50)]
    writer.close()
    assert all(future.done() and future.result() is True for future in futures)
    assert store.count_events() == 50
