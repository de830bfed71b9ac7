"""scripts/bench-timeline.py: the timeline of a benchmark run accounts for the whole wall time."""

import importlib.util
import os
import subprocess
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), os.pardir, os.pardir))
SCRIPT = os.path.join(ROOT, "scripts", "bench-timeline.py")

module_spec = importlib.util.spec_from_file_location("bench_timeline", SCRIPT)
bench_timeline = importlib.util.module_from_spec(module_spec)
module_spec.loader.exec_module(bench_timeline)

START_MS = 1_765_000_000_000


def us(offset_ms):
    return (START_MS + offset_ms) * 1000


def write_trace(path, lines):
    path.write_text("".join(f"{a}\t{b}\t{c}\n" for a, b, c in lines), encoding="utf-8")
    return path


def test_every_stretch_is_named_by_the_mark_that_ends_it_and_they_add_up_to_the_wall_time(tmp_path):
    # Marks of two threads, written out of time order (each thread appends as it goes).
    trace = write_trace(tmp_path / "trace.txt", [
        (us(300), 0, "process created"),
        (us(310), 7, "wWinMain entered"),
        (us(2100), 9, "Setup.7z解压成功 DoExtract = 1790"),
        (us(400), 7, "window made"),
        (us(2950), 7, "wWinMain returns"),
    ])
    stretches = bench_timeline.stretches(START_MS, START_MS + 3000, bench_timeline.read_marks(trace))
    assert [round(duration) for _, duration, _ in stretches] == [300, 10, 90, 1700, 850, 50]
    assert stretches[0][2] == "Wine's loader until the process exists"
    assert stretches[3][2] == "[9] Setup.7z解压成功 DoExtract = 1790"
    assert stretches[-1][2].startswith("after the last mark")
    assert sum(duration for _, duration, _ in stretches) == 3000
    assert [round(start) for start, _, _ in stretches] == [0, 300, 310, 400, 2100, 2950]


def test_short_stretches_are_summed_and_damaged_lines_skipped(tmp_path):
    trace = tmp_path / "trace.txt"
    trace.write_text(f"{us(100)}\t0\tprocess created\nnot a mark\n{us(105)}\t3\tone\n"
                     f"{us(110)}\t3\ttwo\n{us(900)}\t3\tthree\n", encoding="utf-8")
    out = subprocess.run([sys.executable, SCRIPT, str(START_MS), str(START_MS + 1000), str(trace)],
                         capture_output=True, text=True, check=True).stdout.splitlines()
    shown = [line.split(None, 2) for line in out[1:-2]]
    assert [(took, label) for _, took, label in shown] == [
        ("100", "Wine's loader until the process exists"), ("790", "[3] three"),
        ("100", "after the last mark: the process's end and Wine's teardown")]
    assert out[-2].split()[:2] == ["10", "2"], "the two 5 ms stretches"
    assert out[-1].split()[0] == "1000"


def test_a_mark_outside_the_hosts_run_is_placed_at_its_edge(tmp_path):
    trace = write_trace(tmp_path / "trace.txt", [(us(-5), 0, "process created"), (us(1200), 4, "late")])
    stretches = bench_timeline.stretches(START_MS, START_MS + 1000, bench_timeline.read_marks(trace))
    assert [round(duration) for _, duration, _ in stretches] == [0, 1000, 0]


def test_a_run_of_one_kind_of_mark_is_joined_into_one_stretch(tmp_path):
    trace = write_trace(tmp_path / "trace.txt", [
        (us(10), 0, "process created"),
        (us(40), 5, "解压SetupFille, size:30254921"),
        (us(100), 6, "[path] = C:\\STemp\\a.dll"),
        (us(180), 7, "[path] = C:\\STemp\\b.dll"),
        (us(190), 6, "[path] = C:\\STemp\\c.png"),
        (us(500), 5, "[m_nCompleteSize] = 127165211"),
    ])
    lines = bench_timeline.render(START_MS, START_MS + 600, bench_timeline.read_marks(trace))
    joined = [line for line in lines if "marks" in line and "shorter" not in line]
    assert len(joined) == 1, lines
    took, label = joined[0].split(None, 2)[1:]
    assert took == "150"
    assert label == '3 marks "[path] ..." (threads 6, 7), the last: [6] [path] = C:\\STemp\\c.png'
