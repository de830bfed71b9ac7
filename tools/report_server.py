#!/usr/bin/env python3
"""A report server for tests and staging.

Accepts one frame per TCP connection, many connections at once (F1 00, big-endian u32 length, a serialised
pelora_data_report.ReportData), answers with the two-byte acknowledgement F1 00 and appends
every report it decodes as one JSON line to the output file. Fault modes let tests see how the
setup program copes with a server that misbehaves. It stops by itself after --time-limit.

The message classes are generated at start-up from report/pelora_datareport.proto with protoc,
as the collector generates them (collector/schema.py); nothing generated is kept.
"""

import argparse
import json
import os
import socket
import struct
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_PROTO = os.path.join(HERE, os.pardir, "report", "pelora_datareport.proto")
ACKNOWLEDGEMENT = b"\xf1\x00"
MAX_PAYLOAD = 16 * 1024 * 1024
# The schema's classes are generated as the collector generates them.
sys.path.insert(0, os.path.join(HERE, os.pardir))
from collector.schema import load_messages  # noqa: E402

FRAME_TIMEOUT = 10.0

MODES = ("ack", "refuse", "silent", "one-byte", "wrong-byte", "garbage", "delay", "close")
# The garbage mode's answer: what a web server that holds the port says to a frame.
GARBAGE_REPLY = (b"HTTP/1.1 400 Bad Request\r\nContent-Type: text/html\r\nContent-Length: 50\r\n"
                 b"Connection: close\r\n\r\n<html><body><h1>400 Bad Request</h1></body></html>")


def _enum_name(message, field, value):
    enum = message.DESCRIPTOR.fields_by_name[field].enum_type
    entry = enum.values_by_number.get(value)
    return entry.name if entry else value


def report_to_json(report):
    """One report as a plain dictionary: header fields, items, values with their types."""
    def text_fields(message, names):
        return {name: getattr(message, name) for name in names if message.HasField(name)}

    record = text_fields(report, ["string_clientVersion", "string_uid", "string_clientBuild",
                                  "uint_clientSeq", "string_deviceID", "string_osVersion",
                                  "string_device", "string_rom"])
    if report.HasField("terminalType"):
        record["terminalType"] = _enum_name(report, "terminalType", report.terminalType)
    items = []
    for item in report.list_reportItem:
        entry = text_fields(item, ["string_bid", "string_tid", "string_opername",
                                   "string_module", "string_action"])
        if item.HasField("networkType"):
            entry["networkType"] = _enum_name(item, "networkType", item.networkType)
        values = []
        for value in item.list_reportValue:
            kind = _enum_name(value, "valueType", value.valueType) if value.HasField("valueType") else None
            out = {"name": value.string_fieldName, "type": kind}
            for field in ("uint_value", "string_value", "double_value"):
                if value.HasField(field):
                    out[field] = getattr(value, field)
            values.append(out)
        entry["list_reportValue"] = values
        items.append(entry)
    record["list_reportItem"] = items
    return record


def read_exactly(conn, size, deadline):
    data = b""
    while len(data) < size:
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            return None
        conn.settimeout(remaining)
        try:
            chunk = conn.recv(size - len(data))
        except (socket.timeout, OSError):
            return None
        if not chunk:
            return None
        data += chunk
    return data


def read_frame(conn):
    """The payload of one frame, or None for a bad header, a short frame or a timeout."""
    deadline = time.monotonic() + FRAME_TIMEOUT
    header = read_exactly(conn, 6, deadline)
    if header is None or header[0] != 0xF1 or header[1] != 0x00:
        return None
    (length,) = struct.unpack(">I", header[2:6])
    if length > MAX_PAYLOAD:
        return None
    return read_exactly(conn, length, deadline)


class ReportServer:
    def __init__(self, messages, output, host="127.0.0.1", port=8000, mode="ack", delay=0.0):
        self.messages = messages
        self.output = output
        self.mode = mode
        self.delay = delay
        self.held = []  # connections of the silent mode, kept open until the end
        # Each connection is served on a thread of its own, so that a sender that stops half-way
        # through its frame holds up nobody else; the lock keeps the output's lines whole.
        self.lock = threading.Lock()
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind((host, port))
        # In the refuse mode the port is bound but never listened on: connects are refused.
        if mode != "refuse":
            self.listener.listen(16)
        self.port = self.listener.getsockname()[1]

    def record(self, payload, reply):
        report = self.messages.ReportData()
        try:
            report.ParseFromString(payload)
        except Exception as error:  # a payload that is no ReportData is logged, not fatal
            print("report_server: undecodable payload of %d bytes: %s" % (len(payload), error),
                  file=sys.stderr)
            return False
        line = report_to_json(report)
        line["reply"] = reply
        with self.lock, open(self.output, "a", encoding="utf-8") as out:
            out.write(json.dumps(line, ensure_ascii=False) + "\n")
        return True

    def handle(self, conn):
        if self.mode == "close":
            conn.close()
            return
        payload = read_frame(conn)
        if payload is None:
            print("report_server: bad or incomplete frame", file=sys.stderr)
            conn.close()
            return
        decoded = self.record(payload, self.mode)
        try:
            if self.mode == "silent":
                with self.lock:
                    self.held.append(conn)
                return
            if self.mode == "one-byte":
                conn.sendall(ACKNOWLEDGEMENT[:1])
            elif self.mode == "wrong-byte":
                conn.sendall(b"\xf2\x00")
            elif self.mode == "garbage":
                conn.sendall(GARBAGE_REPLY)
            elif decoded:
                if self.mode == "delay":
                    time.sleep(self.delay)
                conn.sendall(ACKNOWLEDGEMENT)
            time.sleep(0.05)  # let the client read the reply before the connection goes
        except OSError:
            pass
        conn.close()

    def serve(self, time_limit):
        deadline = time.monotonic() + time_limit
        try:
            while True:
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    return
                if self.mode == "refuse":
                    time.sleep(min(remaining, 0.2))
                    continue
                self.listener.settimeout(min(remaining, 0.5))
                try:
                    conn, _ = self.listener.accept()
                except socket.timeout:
                    continue
                threading.Thread(target=self.handle, args=(conn,), daemon=True).start()
        finally:
            with self.lock:
                for conn in self.held:
                    conn.close()
            self.listener.close()


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", help="file that receives one JSON line per report")
    parser.add_argument("--host", default="127.0.0.1",
                        help="address to listen on (default: loopback only)")
    parser.add_argument("--port", type=int, default=8000, help="0 picks a free port")
    parser.add_argument("--mode", choices=MODES, default="ack",
                        help="ack (default); refuse connections; silent: accept, never answer; "
                             "one-byte; wrong-byte: answer F2 00; garbage: answer an HTTP error page; "
                             "delay: answer after --delay; "
                             "close: close at once")
    parser.add_argument("--delay", type=float, default=0.0, help="seconds, for --mode delay")
    parser.add_argument("--time-limit", type=float, default=600.0,
                        help="seconds after which the server stops by itself (default 600)")
    parser.add_argument("--proto", default=DEFAULT_PROTO, help="the report schema")
    parser.add_argument("--protoc", default="protoc", help="the protocol compiler")
    args = parser.parse_args(argv)

    messages = load_messages(args.proto, args.protoc)
    server = ReportServer(messages, args.output, args.host, args.port, args.mode, args.delay)
    print("PORT %d" % server.port, flush=True)
    server.serve(args.time_limit)
    return 0


if __name__ == "__main__":
    sys.exit(main())
