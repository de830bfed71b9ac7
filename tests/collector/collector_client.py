"""What the tests send to the collector: reports as the setup builds them, frames, and senders
that behave well or badly on a real TCP connection."""

import os
import socket
import struct
import threading
import time

from collector import schema, wire

COLLECTOR_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir,
                                "scripts", "collector.sh")
messages = schema.load_messages()

BID = "b_lmq_im_active_base"
TID = "interactive_video_data_report"


def add_item(report, action, device="device-1", channel="30004", **values):
    """One event as the setup sends it; `values` are further uint32 (int) or string values by
    name (res2=..., start_ts=..., res5=..., res6=...)."""
    item = report.list_reportItem.add()
    item.string_bid = BID
    item.string_tid = TID
    item.networkType = messages.ReportItem.NETWORK_TYPE_UNKNOWN
    named = dict(action=action, installsrc=channel, res1=device, res3="30004", res4="", **values)
    # The programs send the values in the byte order of their names.
    for name in sorted(named):
        value = item.list_reportValue.add()
        value.string_fieldName = name
        if isinstance(named[name], int):
            value.valueType = messages.ReportValue.VALUE_TYPE_UINT32
            value.uint_value = named[name]
        else:
            value.valueType = messages.ReportValue.VALUE_TYPE_STRING
            value.string_value = named[name]
    return item


def make_report(action="installer_start", device="device-1", seq=0, version="1.14.301", **values):
    report = messages.ReportData()
    report.string_clientVersion = version
    report.string_uid = "uid-7"
    add_item(report, action, device, **values)
    report.string_clientBuild = ""
    report.uint_clientSeq = seq
    report.terminalType = messages.ReportData.TERMINAL_TYPE_PC
    report.string_deviceID = ""
    report.string_osVersion = ""
    report.string_device = ""
    return report


def make_payload(action="installer_start", device="device-1", seq=0, **values):
    return make_report(action, device, seq, **values).SerializeToString()


def read_ack(conn, timeout):
    """The bytes the collector answered (b"" when it closed without answering)."""
    conn.settimeout(timeout)
    reply = b""
    try:
        while len(reply) < 2:
            chunk = conn.recv(2 - len(reply))
            if not chunk:
                break
            reply += chunk
    except (socket.timeout, ConnectionError):
        pass
    return reply


def send_frame(port, payload, timeout=10.0):
    """One exchange as the setup makes it: connect, send the frame, read the answer."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as conn:
        conn.sendall(wire.frame(payload))
        return read_ack(conn, timeout)


def send_without_reading(port, payload):
    """Sends a frame and closes before the answer can be read: an acknowledgement lost."""
    with socket.create_connection(("127.0.0.1", port), timeout=10.0) as conn:
        conn.sendall(wire.frame(payload))


def closed_by_peer(conn, timeout):
    """True when the collector closed the connection within `timeout` seconds."""
    conn.settimeout(timeout)
    try:
        return conn.recv(1) == b""
    except ConnectionResetError:
        return True
    except socket.timeout:
        return False


class GoodSender(threading.Thread):
    """Sends reports one per connection, each as soon as the last was answered, until stopped;
    keeps the payloads that were answered with F1 00, those that were not, and how long each
    exchange took."""

    def __init__(self, port, device="good-sender", interval=0.02):
        super().__init__(daemon=True)
        self.port = port
        self.device = device
        self.interval = interval
        self.answered = []
        self.unanswered = []
        self.seconds = []
        self._stop_requested = threading.Event()

    def run(self):
        seq = 0
        while not self._stop_requested.is_set():
            payload = make_payload("installer_start", self.device, seq)
            started = time.monotonic()
            try:
                reply = send_frame(self.port, payload, timeout=5.0)
            except OSError:
                reply = b""
            self.seconds.append(time.monotonic() - started)
            (self.answered if reply == wire.ACKNOWLEDGEMENT else self.unanswered).append(payload)
            seq += 1
            time.sleep(self.interval)

    def stop(self):
        self._stop_requested.set()
        self.join(timeout=30)


def raw_connection(port):
    return socket.create_connection(("127.0.0.1", port), timeout=10.0)


def frame_header(length, magic=wire.FRAME_MAGIC):
    return magic + struct.pack(">I", length)
