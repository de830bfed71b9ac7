"""tools/report_server.py as a client of the setup program sees it."""

import importlib.util
import json
import os
import socket
import struct
import subprocess
import sys
import time

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), os.pardir, os.pardir))
SERVER = os.path.join(ROOT, "tools", "report_server.py")


def _load_server_module():
    module_spec = importlib.util.spec_from_file_location("report_server", SERVER)
    module = importlib.util.module_from_spec(module_spec)
    module_spec.loader.exec_module(module)
    return module


report_server = _load_server_module()
pb = report_server.load_messages(report_server.DEFAULT_PROTO)


def make_report(seq=0):
    report = pb.ReportData()
    report.string_clientVersion = "1.14.301"
    report.string_uid = "u7"
    report.string_clientBuild = ""
    report.uint_clientSeq = seq
    report.terminalType = pb.ReportData.TERMINAL_TYPE_PC
    item = report.list_reportItem.add()
    item.string_bid = "b_lmq_im_active_base"
    item.networkType = pb.ReportItem.NETWORK_TYPE_UNKNOWN
    value = item.list_reportValue.add()
    value.string_fieldName = "action"
    value.valueType = pb.ReportValue.VALUE_TYPE_STRING
    value.string_value = "installer_start"
    value = item.list_reportValue.add()
    value.string_fieldName = "res2"
    value.valueType = pb.ReportValue.VALUE_TYPE_UINT32
    value.uint_value = 3001
    return report.SerializeToString()


def frame(payload, first=b"\xf1\x00"):
    return first + struct.pack(">I", len(payload)) + payload


@pytest.fixture
def start_server(tmp_path):
    processes = []

    def start(*options):
        output = tmp_path / "reports.jsonl"
        process = subprocess.Popen(
            [sys.executable, SERVER, str(output), "--port", "0", "--time-limit", "30", *options],
            stdout=subprocess.PIPE, text=True)
        processes.append(process)
        line = process.stdout.readline()
        assert line.startswith("PORT "), line
        return int(line.split()[1]), output, process

    yield start
    for process in processes:
        process.kill()
        process.wait()


def exchange(port, data, timeout=3.0):
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as conn:
        conn.sendall(data)
        conn.settimeout(timeout)
        reply = b""
        try:
            while len(reply) < 2:
                chunk = conn.recv(2 - len(reply))
                if not chunk:
                    break
                reply += chunk
        except (socket.timeout, ConnectionResetError):
            pass
        return reply


def read_lines(output):
    deadline = time.time() + 3
    while time.time() < deadline:
        if output.exists() and output.read_text(encoding="utf-8").strip():
            break
        time.sleep(0.05)
    if not output.exists():
        return []
    return [json.loads(line) for line in output.read_text(encoding="utf-8").splitlines()]


def test_acknowledges_and_writes_one_json_line_per_report(start_server):
    port, output, _ = start_server()
    assert exchange(port, frame(make_report(0))) == b"\xf1\x00"
    assert exchange(port, frame(make_report(1))) == b"\xf1\x00"
    lines = read_lines(output)
    assert [line["uint_clientSeq"] for line in lines] == [0, 1]
    first = lines[0]
    assert first["string_clientVersion"] == "1.14.301"
    assert first["string_uid"] == "u7"
    assert first["terminalType"] == "TERMINAL_TYPE_PC"
    item = first["list_reportItem"][0]
    assert item["string_bid"] == "b_lmq_im_active_base"
    assert item["networkType"] == "NETWORK_TYPE_UNKNOWN"
    assert item["list_reportValue"] == [
        {"name": "action", "type": "VALUE_TYPE_STRING", "string_value": "installer_start"},
        {"name": "res2", "type": "VALUE_TYPE_UINT32", "uint_value": 3001},
    ]


def test_bad_header_is_not_acknowledged_nor_recorded(start_server):
    port, output, _ = start_server()
    assert exchange(port, frame(make_report(), first=b"\xf2\x00")) == b""
    assert exchange(port, frame(make_report())) == b"\xf1\x00"
    assert len(read_lines(output)) == 1


def test_a_sender_that_stops_half_way_holds_up_nobody_else(start_server):
    port, output, _ = start_server()
    whole = frame(make_report(0))
    with socket.create_connection(("127.0.0.1", port), timeout=3) as stalled:
        stalled.sendall(whole[:len(whole) // 2])
        started = time.monotonic()
        assert exchange(port, frame(make_report(1))) == b"\xf1\x00"
        assert time.monotonic() - started < 2.5, "the second sender waited for the first one's frame"
    assert [line["uint_clientSeq"] for line in read_lines(output)] == [1]


def test_refuse_mode_refuses_connections(start_server):
    port, _, _ = start_server("--mode", "refuse")
    with pytest.raises(OSError):
        exchange(port, frame(make_report()))


def test_silent_mode_never_answers(start_server):
    port, output, _ = start_server("--mode", "silent")
    started = time.monotonic()
    assert exchange(port, frame(make_report()), timeout=1.5) == b""
    assert time.monotonic() - started >= 1.4
    assert len(read_lines(output)) == 1


@pytest.mark.parametrize("mode, reply", [("one-byte", b"\xf1"), ("wrong-byte", b"\xf2\x00"),
                                         ("garbage", b"HT"), ("close", b"")])
def test_faulty_replies(start_server, mode, reply):
    port, _, _ = start_server("--mode", mode)
    assert exchange(port, frame(make_report())) == reply


def test_delay_mode_answers_late(start_server):
    port, _, _ = start_server("--mode", "delay", "--delay", "1")
    started = time.monotonic()
    assert exchange(port, frame(make_report())) == b"\xf1\x00"
    assert time.monotonic() - started >= 0.9


def test_stops_by_itself_after_the_time_limit(tmp_path):
    started = time.monotonic()
    result = subprocess.run(
        [sys.executable, SERVER, str(tmp_path / "out.jsonl"), "--port", "0", "--time-limit", "1"],
        capture_output=True, text=True, timeout=20)
    assert result.returncode == 0
    assert result.stdout.startswith("PORT ")
    assert time.monotonic() - started < 15


def test_listens_on_loopback_by_default(start_server):
    port, _, process = start_server()
    listening = subprocess.run(["ss", "-ltnH", "sport = :%d" % port], capture_output=True,
                               text=True)
    if listening.returncode != 0:
        pytest.skip("ss is not available")
    assert "127.0.0.1:%d" % port in listening.stdout
