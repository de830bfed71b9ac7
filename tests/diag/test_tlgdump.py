"""tools/tlgdump.py on the sample log that the C++ record builder reproduces byte for byte
(diag_tests, KnownRecords), and on damaged copies of it."""

import importlib.util
import json
import pathlib
import struct
import subprocess
import sys

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
TLGDUMP = REPO / "tools" / "tlgdump.py"
KNOWN = REPO / "tests" / "diag" / "data" / "known_records.tlg"


def load_tlgdump():
    module_spec = importlib.util.spec_from_file_location("tlgdump", TLGDUMP)
    module = importlib.util.module_from_spec(module_spec)
    module_spec.loader.exec_module(module)
    return module


def run(*args):
    return subprocess.run([sys.executable, str(TLGDUMP), *map(str, args)],
                          capture_output=True, text=True, encoding="utf-8")


def json_lines(stdout):
    return [json.loads(line) for line in stdout.splitlines() if line.strip()]


@pytest.fixture
def known_bytes():
    return KNOWN.read_bytes()


def record_offsets(data):
    offsets, offset = [], 0
    while offset < len(data):
        offsets.append(offset)
        offset += struct.unpack_from("<I", data, offset)[0]
    return offsets


def test_known_records_decode_to_what_the_writer_was_given():
    result = run("--json", KNOWN)
    assert result.returncode == 0, result.stdout + result.stderr
    records = json_lines(result.stdout)
    assert [r["level"] for r in records] == [1, 2, 4, 2]
    assert records[0]["category"] == "PerfBenchmark"
    assert records[0]["function"] == "CVLog_DoCVLogVW"
    assert records[0]["source_file"] == "Log"
    assert records[0]["line"] == 955
    assert records[0]["message"] == "10000000"
    assert records[1]["message"] == "数据上报上报构造完成"
    assert records[1]["source_file"] == "data_report_mgr.cpp"
    assert records[1]["category"] == "PeloraDataReport.Event"
    # Longer than the mask table: positions 64 and on reuse it from the start.
    assert records[2]["message"] == "".join(chr(ord("a") + i % 26) for i in range(100))
    assert records[2]["perf_counter"] == 123456789
    assert records[2]["module_address"] == ""
    assert records[3]["message"] == ""
    assert records[3]["category"] == "PeloraDataReport.Event.ERROR"
    for index, record in enumerate(records):
        assert record["pid"] == 4242 and record["tid"] == 17
        assert record["wall_seconds"] == 1457341502 + index
        assert record["cookie"] == 0x5EED and record["process_start_tick"] == 900
    assert [r["offset"] for r in records] == record_offsets(KNOWN.read_bytes())


def test_text_output_has_one_line_per_record_with_all_fields():
    result = run(KNOWN)
    assert result.returncode == 0
    lines = result.stdout.splitlines()
    assert len(lines) == 4
    second = lines[1]
    for part in ("L2", "pid=4242", "tid=17", "data_report_mgr.cpp:88",
                 "DataReportMgr::DataReportMgr", "[PeloraDataReport.Event]", "数据上报上报构造完成"):
        assert part in second
    # The local time of the record's wall clock, in the reader's time zone.
    assert second.startswith(load_tlgdump().local_time(1457341503))


def test_scrambling_round_trips_through_the_reader_table():
    tlgdump = load_tlgdump()
    assert len(tlgdump.MASKS) == 64
    text = "x" * 70 + "映彩"
    units = tlgdump.scramble(text)
    block = struct.pack("<%dH" % len(units), *units)
    assert tlgdump._scrambled(block, 0, len(block), "message") == text


def write(tmp_path, data, name="damaged.tlg"):
    path = tmp_path / name
    path.write_bytes(bytes(data))
    return path


def damage_of(result):
    return [r for r in json_lines(result.stdout) if "damage" in r]


def test_truncated_file_is_reported_at_the_cut_record(tmp_path, known_bytes):
    offsets = record_offsets(known_bytes)
    path = write(tmp_path, known_bytes[:offsets[2] + 200])
    result = run("--json", path)
    assert result.returncode == 1
    good = [r for r in json_lines(result.stdout) if "damage" not in r]
    assert len(good) == 2
    [damage] = damage_of(result)
    assert damage["offset"] == offsets[2]
    assert "truncated" in damage["damage"]


def test_short_tail_is_reported_as_truncated(tmp_path, known_bytes):
    path = write(tmp_path, known_bytes + b"\x10\x00")
    result = run(path)
    assert result.returncode == 1
    assert "damaged record at offset %d" % len(known_bytes) in result.stdout
    assert "truncated file" in result.stdout


def test_bad_length_stops_with_its_offset(tmp_path, known_bytes):
    data = bytearray(known_bytes)
    second = record_offsets(known_bytes)[1]
    struct.pack_into("<I", data, second, 170)  # not a multiple of 4
    result = run("--json", write(tmp_path, data))
    assert result.returncode == 1
    [damage] = damage_of(result)
    assert damage["offset"] == second and "bad record length 170" in damage["damage"]


def test_bad_offsets_skip_only_that_record(tmp_path, known_bytes):
    data = bytearray(known_bytes)
    first_length = struct.unpack_from("<I", data, 0)[0]
    struct.pack_into("<H", data, 60, first_length + 8)  # message beyond the record
    result = run("--json", write(tmp_path, data))
    assert result.returncode == 1
    records = json_lines(result.stdout)
    assert records[0]["offset"] == 0 and "bad string offsets" in records[0]["damage"]
    assert [r["message"] for r in records[1:]][0] == "数据上报上报构造完成"
    assert len(records) == 4


def test_unterminated_scrambled_message_is_reported(tmp_path, known_bytes):
    data = bytearray(known_bytes)
    length, message_at = struct.unpack_from("<I", data, 0)[0], struct.unpack_from("<H", data, 60)[0]
    # Overwrite the message, its terminator slot and the padding with units that never decode to 0.
    for at in range(message_at, length, 2):
        struct.pack_into("<H", data, at, 0x0041 ^ load_tlgdump().MASKS[((at - message_at) // 2) % 64])
    result = run("--json", write(tmp_path, data))
    assert result.returncode == 1
    first = json_lines(result.stdout)[0]
    assert first["offset"] == 0
    assert "unterminated scrambled message" in first["damage"]


def test_missing_file_is_an_error(tmp_path):
    result = run(tmp_path / "absent.tlg")
    assert result.returncode == 2
    assert "absent.tlg" in result.stderr


def test_shell_wrapper_runs_the_decoder():
    result = subprocess.run([str(REPO / "tools" / "tlgdump"), str(KNOWN)],
                            capture_output=True, text=True, encoding="utf-8")
    assert result.returncode == 0
    assert len(result.stdout.splitlines()) == 4
