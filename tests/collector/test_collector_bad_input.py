"""Each kind of bad input, sent to a running collector while another sender reports normally:
the bad connection is closed, logged and counted, and every good report is answered at once,
stored, and the collector keeps answering."""

import re
import socket
import struct
import time

import pytest

from collector import store as store_module, wire
from collector_client import (GoodSender, closed_by_peer, frame_header, make_payload,
                              raw_connection, send_frame)

FRAME_TIMEOUT = 2.0
# A good exchange takes milliseconds; a collector that waited for a bad sender would take seconds.
GOOD_EXCHANGE_LIMIT = 1.0


def send_bad_header(port):
    with raw_connection(port) as conn:
        conn.sendall(b"GET / HTTP/1.1\r\nHost: collector\r\n\r\n")
        assert closed_by_peer(conn, 1.0)


def send_too_long(port):
    with raw_connection(port) as conn:
        conn.sendall(frame_header(wire.MAX_PAYLOAD + 1) + b"the start of a body")
        # Closed at once: the collector does not wait for a body it will not read.
        assert closed_by_peer(conn, 1.0)


def send_truncated(port):
    with raw_connection(port) as conn:
        conn.sendall(frame_header(100) + b"only ten b")


def send_trickle(port):
    with raw_connection(port) as conn:
        started = time.monotonic()
        data = frame_header(30) + bytes(30)  # 36 bytes at 4 a second: 9 s
        for byte in data:
            try:
                conn.sendall(bytes([byte]))
            except ConnectionError:
                break
            if closed_by_peer(conn, 0.25):
                break
        elapsed = time.monotonic() - started
        # Cut at the frame's time-out although a byte came every quarter second.
        assert FRAME_TIMEOUT - 0.2 < elapsed < FRAME_TIMEOUT + 1.5, elapsed


def send_undecodable(port):
    with raw_connection(port) as conn:
        conn.sendall(wire.frame(b"\xff\xff\xff\xff not a report"))
        conn.settimeout(2.0)
        assert conn.recv(2) == b""  # closed without an answer


BAD_INPUTS = {
    "bad_header": send_bad_header,
    "too_long": send_too_long,
    "truncated": send_truncated,
    "timeout": send_trickle,
    "undecodable": send_undecodable,
}


def wait_for_log(collector, pattern, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = re.findall(pattern, collector.stderr(), re.MULTILINE)
        if found:
            return found
        time.sleep(0.05)
    raise AssertionError("no log line %r in:\n%s" % (pattern, collector.stderr()))


def wait_for_answers(sender, count, timeout=10.0):
    deadline = time.monotonic() + timeout
    while len(sender.answered) < count and time.monotonic() < deadline:
        time.sleep(0.02)
    assert len(sender.answered) >= count, "the good sender was not answered"


def assert_good_reports_all_stored(db, sender, extra=0):
    assert sender.unanswered == []
    assert max(sender.seconds) < GOOD_EXCHANGE_LIMIT, max(sender.seconds)
    store = store_module.open_store(db)
    sequences = [row["client_seq"] for row in store.events() if row["device"] == sender.device]
    # The sender counts up from 0 and went on only when answered.
    assert sequences == list(range(len(sender.answered)))
    assert store.count_events() == len(sender.answered) + extra
    return store


@pytest.mark.parametrize("kind", sorted(BAD_INPUTS))
def test_bad_input_is_closed_logged_and_counted_while_good_reports_go_on(db, start_collector,
                                                                         kind):
    collector = start_collector(db, frame_timeout=FRAME_TIMEOUT)
    sender = GoodSender(collector.port)
    sender.start()
    try:
        wait_for_answers(sender, 3)
        BAD_INPUTS[kind](collector.port)
        wait_for_log(collector, r"^collector: %s peer=127\.0\.0\.1:\d+ \S" % kind)
        wait_for_answers(sender, len(sender.answered) + 3)
    finally:
        sender.stop()
    assert send_frame(collector.port, make_payload(device="after")) == wire.ACKNOWLEDGEMENT
    store = assert_good_reports_all_stored(db, sender, extra=1)
    assert store.reject_counts() == {kind: 1}
    assert collector.running()


def test_many_slow_senders_at_once_hold_up_nobody(db, start_collector):
    collector = start_collector(db, frame_timeout=FRAME_TIMEOUT)
    sender = GoodSender(collector.port)
    sender.start()
    slow = []
    try:
        wait_for_answers(sender, 3)
        for index in range(100):
            conn = raw_connection(collector.port)
            if index % 2:
                conn.sendall(frame_header(500) + b"partial")  # a frame that never completes
            slow.append(conn)
        started = len(sender.answered)
        time.sleep(FRAME_TIMEOUT / 2)
        assert len(sender.answered) > started + 5, "good reports stalled behind slow senders"
        for conn in slow:
            assert closed_by_peer(conn, FRAME_TIMEOUT + 3)
        wait_for_answers(sender, len(sender.answered) + 3)
    finally:
        sender.stop()
        for conn in slow:
            conn.close()
    store = assert_good_reports_all_stored(db, sender)
    deadline = time.monotonic() + 10
    while store.reject_counts() != {"timeout": 100} and time.monotonic() < deadline:
        time.sleep(0.05)
    assert store.reject_counts() == {"timeout": 100}


def test_an_idle_connection_after_answered_frames_closes_without_a_count(db, start_collector):
    collector = start_collector(db, frame_timeout=1.0)
    with raw_connection(collector.port) as conn:
        conn.sendall(wire.frame(make_payload(seq=0)))
        conn.settimeout(5)
        assert conn.recv(2) == wire.ACKNOWLEDGEMENT
        assert closed_by_peer(conn, 3.0)
    # A reject would have been queued before that close, so committed before this answer.
    assert send_frame(collector.port, make_payload(seq=1)) == wire.ACKNOWLEDGEMENT
    store = store_module.open_store(db)
    assert store.reject_counts() == {} and store.count_events() == 2
    assert "timeout" not in collector.stderr()


def test_a_sender_that_resets_the_connection_mid_frame_is_truncated(db, start_collector):
    collector = start_collector(db, frame_timeout=FRAME_TIMEOUT)
    conn = raw_connection(collector.port)
    conn.sendall(frame_header(100) + b"abc")
    # SO_LINGER 0: the close sends a reset instead of an orderly end.
    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    conn.close()
    wait_for_log(collector, r"^collector: truncated peer=")
    assert send_frame(collector.port, make_payload()) == wire.ACKNOWLEDGEMENT
    assert collector.running()
