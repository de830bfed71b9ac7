"""The collector under load, at a size the suite can afford: thousands of reports from dozens of
concurrent senders, a share of them sent twice as after a lost acknowledgement, stored exactly
once; and a collector killed with SIGKILL half-way and started again on the same database and
port: every report a sender saw acknowledged is stored, none twice. Both on SQLite and on
PostgreSQL. The generator (tools/collector_load.py) and the check (tools/collector_check.py) are
tested first, so that their passing says something about the collector."""

import asyncio
import os
import signal
import subprocess
import sys
import threading

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), os.pardir, os.pardir))
sys.path.insert(0, os.path.join(ROOT, "tools"))

import collector_check  # noqa: E402
from collector_load import (ACKNOWLEDGEMENT, LoadPlan, Progress, ReportMaker, Settings,  # noqa: E402
                            device_identity, frame, nearest_rank, run_load)
from collector.schema import load_messages  # noqa: E402

MESSAGES = load_messages()
MAKER = ReportMaker(MESSAGES)


# --- the generator and the check --------------------------------------------------------------

def varint(value):
    out = b""
    while value >= 0x80:
        out += bytes([value & 0x7F | 0x80])
        value >>= 7
    return out + bytes([value])


def text(field, value):
    data = value.encode()
    return varint(field << 3 | 2) + varint(len(data)) + data


def number(field, value):
    return varint(field << 3) + varint(value)


def test_a_generated_report_is_byte_for_byte_what_the_setup_writes():
    """The setup writes every header field, even an empty one, the item's values in the byte
    order of their names and the network type last (report/report_message.cpp)."""
    # Device 3 runs start, error, done: its report number 1 is the error, with a code.
    code = MAKER.values("dev-1", 3, 1)["res2"]
    values = [(b"action", "installer_error"), (b"installsrc", "30004"), (b"res1", "dev-1"),
              (b"res2", code), (b"res3", "30004"), (b"res4", "")]
    item = text(1, "b_lmq_im_active_base") + text(2, "interactive_video_data_report")
    for name, value in values:
        entry = text(1, name.decode())
        entry += number(2, 1) + number(3, value) if isinstance(value, int) else number(2, 2) + text(4, value)
        item += varint(6 << 3 | 2) + varint(len(entry)) + entry
    item += number(7, 1)
    expected = (text(1, "1.14.301") + text(2, "") + varint(3 << 3 | 2) + varint(len(item)) + item
                + text(4, "") + number(5, 1) + number(6, 1) + text(7, "") + text(8, "") + text(9, ""))

    payload = MAKER.payload("dev-1", 3, 1)
    assert payload == expected
    assert frame(payload) == b"\xf1\x00" + len(payload).to_bytes(4, "big") + payload


def test_every_report_is_sent_once_by_the_one_sender_of_its_device_in_sequence_order():
    plan = LoadPlan(reports=1003, devices=37, workers=5, retry_share=0.05, seed=7)
    seen = []
    for worker in range(plan.workers):
        sequences = {}
        for report in plan.reports_of_worker(worker):
            device, seq = plan.device_and_seq(report)
            assert device % plan.workers == worker, "a device is split between senders"
            assert seq == sequences.get(device, -1) + 1, "a device's reports go out of order"
            sequences[device] = seq
            seen.append(report)
    assert sorted(seen) == list(range(1003))
    assert len(plan.retried) == 50 and plan.retried <= set(range(1003))
    # More devices than reports: one report each.
    assert LoadPlan(reports=10, devices=500, workers=3, retry_share=0).devices == 10


def test_consecutive_reports_of_a_device_differ_so_none_looks_like_a_retry():
    payloads = [MAKER.payload(device_identity("d-", 4), 4, seq) for seq in range(12)]
    assert len(set(payloads)) == 12
    assert MAKER.payload("d-000001", 1, 0) != MAKER.payload("d-000002", 2, 0)


def test_nearest_rank_percentiles():
    assert nearest_rank(list(range(1, 101)), 99) == 99
    assert nearest_rank(list(range(1, 1001)), 99) == 990
    assert nearest_rank(list(range(1, 101)), 50) == 50
    assert nearest_rank([5.0], 99) == 5.0
    assert nearest_rank([], 50) is None


class FlakyServer:
    """Acknowledges a frame only from its second arrival on: the first copy of every payload is
    answered with a wrong byte pair, as by something that is not the collector. Keeps every
    frame received."""

    def __init__(self):
        self.received = []
        self.server = None

    async def handle(self, reader, writer):
        header = await reader.readexactly(6)
        data = header + await reader.readexactly(int.from_bytes(header[2:], "big"))
        first = data not in self.received
        self.received.append(data)
        writer.write(b"\xf2\x00" if first else ACKNOWLEDGEMENT)
        await writer.drain()
        writer.close()

    async def start(self):
        self.server = await asyncio.start_server(self.handle, "127.0.0.1", 0)
        return self.server.sockets[0].getsockname()[1]


def test_a_sender_resends_until_acknowledged_and_replays_the_same_bytes_after_a_lost_answer():
    plan = LoadPlan(reports=40, devices=8, workers=4, retry_share=0.25, seed=3)
    flaky = FlakyServer()
    reached = []

    async def scenario():
        port = await flaky.start()
        settings = Settings(port=port, first_pause=0.001, longest_pause=0.01, give_up_after=10)
        try:
            return await run_load(plan, MAKER, settings, "flaky-",
                                  Progress(plan.reports, 0.5, reached.append))
        finally:
            flaky.server.close()

    tally, _ = asyncio.run(scenario())
    assert tally.given_up == 0
    assert sorted(tally.acknowledged) == sorted((device_identity("flaky-", report % 8), report // 8)
                                                for report in range(40))
    # Every report: one refused copy, one acknowledged; a retried one: one copy more.
    assert (tally.failures, tally.retries, tally.acks, tally.frames_sent) == (40, 10, 50, 90)
    assert len(tally.latencies) == 50
    copies = {data: flaky.received.count(data) for data in flaky.received}
    assert sorted(copies.values()) == [2] * 30 + [3] * 10
    assert reached == [20], "the half-way mark comes once, at the 20th acknowledged report"


class ListedStore:
    """A store's reads over a list of (device, client_seq) rows."""

    def __init__(self, pairs):
        self._rows = [{"device": device, "client_seq": seq, "item_index": 0} for device, seq in pairs]

    def events(self):
        return iter(self._rows)

    def count_events(self):
        return len(self._rows)


def test_the_check_names_a_lost_a_doubled_and_a_missing_row():
    acknowledged = [["a", 0], ["a", 1], ["b", 0]]
    assert collector_check.check(ListedStore([("a", 0), ("a", 1), ("b", 0)]), acknowledged, 3)[1] == []
    figures, problems = collector_check.check(ListedStore([("a", 0), ("a", 0), ("b", 0)]), acknowledged, 3)
    assert (figures["missing"], figures["stored_twice"]) == (1, 1)
    assert any("missing" in problem and "('a', 1)" in problem for problem in problems)
    assert any("more than once" in problem for problem in problems)
    _, problems = collector_check.check(ListedStore([("a", 0), ("a", 1)]), acknowledged[:2], 3)
    assert problems == ["2 rows stored, 3 expected"]


# --- the collector ---------------------------------------------------------------------------

REPORTS = 3000
CONNECTIONS = 50


def assert_stored_exactly_once(db, tally):
    from collector.store import open_store
    figures, problems = collector_check.check(open_store(db, create=False), tally.acknowledged, REPORTS)
    assert problems == [], figures
    assert figures["acknowledged"] == REPORTS


def test_reports_from_many_senders_with_lost_acknowledgements_are_stored_exactly_once(db, start_collector):
    collector = start_collector(db)
    plan = LoadPlan(REPORTS, devices=500, workers=CONNECTIONS, retry_share=0.05)
    tally, elapsed = asyncio.run(run_load(plan, MAKER, Settings(port=collector.port, give_up_after=15)))
    assert collector.terminate() == 0
    assert tally.given_up == 0 and tally.failures == 0, collector.stderr()
    assert (tally.retries, tally.acks) == (150, REPORTS + 150)
    assert_stored_exactly_once(db, tally)
    print("%d reports in %.2f s, ack p99 %.1f ms" % (REPORTS, elapsed, 1000 * nearest_rank(sorted(tally.latencies), 99)))


class RestartedCollector:
    """The collector started again on the port its killed predecessor had (scripts/collector.sh,
    as the tests' collectors are started)."""

    def __init__(self, db, port, folder):
        self.errors = open(os.path.join(folder, "restarted-collector.err"), "w")
        self.process = subprocess.Popen(
            [os.path.join(ROOT, "scripts", "collector.sh"), "serve", "--db", db, "--listen",
             "127.0.0.1:%d" % port, "--http", "off"], stdout=subprocess.PIPE, stderr=self.errors, text=True)
        self.first_line = self.process.stdout.readline().strip()

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        code = self.process.wait(timeout=30)
        self.errors.close()
        return code


@pytest.fixture
def restart_collector(tmp_path):
    started = []

    def restart(db, port):
        started.append(RestartedCollector(db, port, str(tmp_path)))
        return started[-1]

    yield restart
    for collector in started:
        collector.stop()


def test_a_collector_killed_half_way_and_restarted_keeps_every_acknowledged_report_once(db, start_collector,
                                                                                        restart_collector):
    first = start_collector(db)
    port = first.port
    plan = LoadPlan(REPORTS, devices=500, workers=CONNECTIONS, retry_share=0.05)
    half_way = threading.Event()
    outcome = {}

    def generate():
        progress = Progress(plan.reports, 0.5, lambda count: half_way.set())
        outcome["tally"], _ = asyncio.run(run_load(plan, MAKER, Settings(port=port, give_up_after=15), progress=progress))

    # A daemon: should the restart fail, the senders give up on their own and hold nothing up.
    sender = threading.Thread(target=generate, daemon=True)
    sender.start()
    assert half_way.wait(timeout=60), "half of the reports were never acknowledged"
    first.kill()  # SIGKILL, in the middle of the senders' exchanges
    second = restart_collector(db, port)
    assert second.first_line == "LISTENING %d" % port
    sender.join(timeout=90)
    assert not sender.is_alive(), "the senders did not finish"
    tally = outcome["tally"]
    assert second.stop() == 0
    assert tally.given_up == 0
    assert tally.failures > 0, "no send met the stopped collector: the kill came too late to test anything"
    assert_stored_exactly_once(db, tally)
