"""Retries against a running collector: a report whose answer was lost is stored once, even when
the collector died between its commit and its answer; a second real run is not mistaken for a
retry."""

import os
import threading

from collector import store as store_module, wire
from collector_client import make_payload, raw_connection, read_ack, send_frame, send_without_reading

PAUSE = dict(os.environ, PELORA_COLLECTOR_PAUSE_AFTER_COMMIT="1")


def stored_actions(db):
    return [row["action"] for row in store_module.open_store(db).events()]


def test_a_retry_after_a_lost_answer_is_answered_and_stored_once(db, start_collector):
    collector = start_collector(db)
    payload = make_payload("installer_start", "device-1", seq=0)
    # The sender closed before it read the answer, so it sends the same bytes again.
    send_without_reading(collector.port, payload)
    assert send_frame(collector.port, payload) == wire.ACKNOWLEDGEMENT
    assert send_frame(collector.port, payload) == wire.ACKNOWLEDGEMENT
    assert stored_actions(db) == ["installer_start"]


def test_two_runs_with_identical_first_reports_are_both_stored(db, start_collector):
    collector = start_collector(db)
    first_report = make_payload("installer_start", "device-1", seq=0)
    for payload in (first_report, make_payload("installer_done", "device-1", seq=1, start_ts=30),
                    first_report):
        assert send_frame(collector.port, payload) == wire.ACKNOWLEDGEMENT
    assert stored_actions(db) == ["installer_start", "installer_done", "installer_start"]


def test_frames_on_one_connection_are_each_answered_and_a_repeat_among_them_not_stored(
        db, start_collector):
    collector = start_collector(db)
    start = make_payload("installer_start", "device-1", seq=0)
    done = make_payload("installer_done", "device-1", seq=1, start_ts=30)
    with raw_connection(collector.port) as conn:
        for payload in (start, start, done):
            conn.sendall(wire.frame(payload))
            assert read_ack(conn, 10) == wire.ACKNOWLEDGEMENT
    assert stored_actions(db) == ["installer_start", "installer_done"]


def test_a_report_committed_but_not_answered_before_a_kill_is_not_stored_twice(
        db, start_collector):
    # The test hook makes the collector stop between the commit and the answer; it is killed
    # there, as a crash or a power cut would stop it.
    paused = start_collector(db, env=PAUSE)
    payload = make_payload("installer_start", "device-1", seq=0)
    conn = raw_connection(paused.port)
    conn.sendall(wire.frame(payload))
    line = paused.process.stdout.readline()
    assert line.startswith("COMMITTED "), line
    paused.kill()
    reply = read_ack(conn, 10)
    conn.close()
    assert reply == b"", "the sender was answered before the kill"
    assert stored_actions(db) == ["installer_start"]

    restarted = start_collector(db)
    assert send_frame(restarted.port, payload) == wire.ACKNOWLEDGEMENT
    assert send_frame(restarted.port, make_payload("installer_done", "device-1", seq=1)) == \
        wire.ACKNOWLEDGEMENT
    assert stored_actions(db) == ["installer_start", "installer_done"]


def test_retries_racing_the_first_attempt_are_stored_once(db, start_collector):
    collector = start_collector(db)
    payloads = [make_payload("installer_start", "device-%d" % index) for index in range(20)]
    replies = []

    def send_twice(payload):
        # The retry goes out before the first attempt was answered.
        send_without_reading(collector.port, payload)
        replies.append(send_frame(collector.port, payload))
    threads = [threading.Thread(target=send_twice, args=(payload,)) for payload in payloads]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(30)
    assert replies == [wire.ACKNOWLEDGEMENT] * len(payloads)
    devices = sorted(row["device"] for row in store_module.open_store(db).events())
    assert devices == sorted("device-%d" % index for index in range(20))
