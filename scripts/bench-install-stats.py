#!/usr/bin/env python3
"""The statistics of scripts/bench-install.sh.

  bench-install-stats.py phases INSTALL_LOG [BINARY_LOG_TEXT]
        the phase timings of one run, one "NAME<TAB>MS" line each: those of the install log and
        the report thread's wait at exit from the binary log as tools/tlgdump.py prints it
  bench-install-stats.py table RESULTS PHASES   the summary tables of a benchmark run

RESULTS holds one line per timed run, "CASE<TAB>RUN<TAB>WALL_MS<TAB>RSS_KB<TAB>STATUS" (STATUS
"ok" or what went wrong); PHASES holds "CASE<TAB>RUN<TAB>NAME<TAB>MS" lines. Cases keep the order
in which they first appear; the first case is the reference of the ratio column.
"""
import re
import statistics
import sys

# Durations the setup writes into its install log, in milliseconds (GetTickCount differences).
# A phase written more than once in a run (one line per shortcut) counts with its sum.
PHASE_PATTERNS = [
    ("ExtractSetupFile", re.compile(r"ExtractSetupFile 成功,time = (-?\d+)")),
    ("DoExtract (Setup.7z)", re.compile(r"Setup\.7z解压成功 DoExtract = (-?\d+)")),
    ("IsVTProcessExist", re.compile(r"IsVTProcessExist Time = (-?\d+)")),
    ("UnRegVoctoDll", re.compile(r"UnRegVoctoDll花费的时间是(-?\d+)")),
    ("previous version removal", re.compile(r"完成卸载,卸载花费的时间是(-?\d+)")),
    ("DeleteVersion", re.compile(r"DeleteVersion 经历时间为(-?\d+)")),
    ("WriteProtocalInfo 1", re.compile(r"WriteProtocalInfo 1 time (-?\d+)")),
    ("WriteProtocalInfo 2", re.compile(r"WriteProtocalInfo 2 time (-?\d+)")),
    ("WriteProtocalInfo 3", re.compile(r"WriteProtocalInfo 3 time (-?\d+)")),
    ("WriteProtocalInfo 4", re.compile(r"WriteProtocalInfo 4 time (-?\d+)")),
    ("CreateFileShortcut (sum)", re.compile(r"CreateFileShortcut time = (-?\d+)")),
]
# The binary log's: how long the setup waited at its end for the last report to be sent.
BINARY_LOG_PATTERNS = [
    ("report wait at exit (.tlg)", re.compile(r"实际等待时间(-?\d+)毫秒")),
]


def read_log(path):
    """The install log's text: UTF-16LE with a byte-order mark, or ANSI (code page 936 or 1252)."""
    data = open(path, "rb").read()
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le", errors="replace")
    for encoding in ("utf-8", "gb18030", "cp1252"):
        try:
            return data.decode(encoding)
        except UnicodeDecodeError:
            pass
    return data.decode("latin-1")


def print_phases(text, patterns):
    for name, pattern in patterns:
        values = [int(m.group(1)) for m in pattern.finditer(text)]
        if values:
            print("%s\t%d" % (name, sum(values)))


def phases(log_path, binary_log_text_path=None):
    print_phases(read_log(log_path), PHASE_PATTERNS)
    if binary_log_text_path:
        with open(binary_log_text_path, encoding="utf-8", errors="replace") as f:
            print_phases(f.read(), BINARY_LOG_PATTERNS)


def read_rows(path, fields):
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            if len(parts) == fields:
                rows.append(parts)
    return rows


def seconds(ms):
    return "%.2f s" % (ms / 1000.0)


def table(results_path, phases_path):
    runs = {}
    finished = set()
    for case, run, wall_ms, rss_kb, status in read_rows(results_path, 5):
        runs.setdefault(case, []).append((int(wall_ms), int(rss_kb), status))
        if status == "ok":
            finished.add((case, run))
    if not runs:
        print("no runs")
        return
    reference = None
    print("| case | median | min | max | × 7zz x | peak RSS |")
    print("|---|---:|---:|---:|---:|---:|")
    for case, entries in runs.items():
        good = [e for e in entries if e[2] == "ok"]
        failed = len(entries) - len(good)
        note = " (%d of %d runs failed)" % (failed, len(entries)) if failed else ""
        if not good:
            print("| %s%s | – | – | – | – | – |" % (case, note))
            continue
        walls = [e[0] for e in good]
        median = statistics.median(walls)
        if reference is None:
            reference = median
        ratio = "%.2f" % (median / reference) if reference else "–"
        peak_mib = max(e[1] for e in good) / 1024.0
        print("| %s%s | %s | %s | %s | %s | %.0f MiB |"
              % (case, note, seconds(median), seconds(min(walls)), seconds(max(walls)), ratio,
                 peak_mib))

    phase_values = {}
    for case, run, name, ms in read_rows(phases_path, 4):
        # Only runs that finished count, as in the table above.
        if (case, run) in finished:
            phase_values.setdefault(name, {}).setdefault(case, []).append(int(ms))
    if not phase_values:
        return
    cases = [c for c in runs if any(c in per_case for per_case in phase_values.values())]
    print()
    print("Install log phases, median in ms (runs that wrote the line):")
    print("| phase | " + " | ".join(cases) + " |")
    print("|---|" + "---:|" * len(cases))
    order = [name for name, _ in PHASE_PATTERNS + BINARY_LOG_PATTERNS]
    for name in sorted(phase_values, key=lambda n: order.index(n) if n in order else len(order)):
        cells = []
        for case in cases:
            values = phase_values[name].get(case)
            cells.append("%d (%d)" % (statistics.median(values), len(values)) if values else "–")
        print("| %s | %s |" % (name, " | ".join(cells)))


def main():
    if len(sys.argv) in (3, 4) and sys.argv[1] == "phases":
        phases(*sys.argv[2:])
    elif len(sys.argv) == 4 and sys.argv[1] == "table":
        table(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
