#!/usr/bin/env python3
"""The timeline of one benchmark run of the setup program, from its trace marks.

  bench-timeline.py HOST_START_MS HOST_END_MS TRACE_FILE [MIN_MS]

HOST_START_MS and HOST_END_MS are the host's clock (milliseconds since 1970) when it started
`wine PROGRAM` and when that command ended. TRACE_FILE holds the marks the benchmark build writes
(see diag/trace_marks.h): "<microseconds since 1970>\\t<thread id>\\t<text>" per line, the first
being the process's creation. Every stretch of the run between two consecutive moments (the
host's start, the process's creation, each mark, the host's end) is named by the mark that ends
it; a run of stretches ended by marks of one kind (the extraction's "[path] = ..." line per file)
is joined into one. Each is printed when it lasts MIN_MS (default 20) or more; the shorter ones
are summed on one line, so that the printed times add up to the whole wall time.
"""
import re
import sys

CREATED = "process created"


def read_marks(path):
    """[(microseconds, thread, text)] in the file's order; damaged lines are skipped."""
    marks = []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t", 2)
            if len(parts) == 3 and parts[0].isdigit() and parts[1].isdigit():
                marks.append((int(parts[0]), int(parts[1]), parts[2].strip()))
    return marks


def stretches(host_start_ms, host_end_ms, marks):
    """[(start_ms, duration_ms, label)] from the host's start to its end, in time order. Each
    stretch is named after the moment that ends it."""
    first, last = host_start_ms * 1000, host_end_ms * 1000
    moments = [(first, "wine started")]
    for micros, thread, text in sorted(marks, key=lambda m: m[0]):
        # The two clocks are the same, read a moment apart: a mark outside the host's run is
        # placed at its edge.
        micros = min(max(micros, first), last)
        if text == CREATED:
            label = "Wine's loader until the process exists"
        else:
            label = "[%d] %s" % (thread, text)
        moments.append((micros, label))
    moments.append((last, "after the last mark: the process's end and Wine's teardown"))
    result = []
    for (before, _), (after, label) in zip(moments, moments[1:]):
        result.append(((before - first) / 1000.0, (after - before) / 1000.0, label))
    return result


def kind_of(label):
    """What marks of one kind share: the text without its thread, before any " = ", digits
    ignored."""
    text = re.sub(r"^\[\d+\] ", "", label)
    return re.sub(r"\d+", "#", text.split(" = ", 1)[0])


def joined(stretches_in_order):
    """The stretches with each run of one kind of mark joined: [(start_ms, duration_ms, label)]."""
    result = []
    run = []

    def flush():
        if len(run) == 1:
            result.append(run[0])
        elif run:
            threads = sorted({m.group(1) for m in (re.match(r"^\[(\d+)\]", s[2]) for s in run) if m})
            label = "%d marks \"%s ...\" (threads %s), the last: %s" % (
                len(run), kind_of(run[0][2]), ", ".join(threads), run[-1][2])
            result.append((run[0][0], sum(s[1] for s in run), label))
        run.clear()

    for stretch in stretches_in_order:
        if run and kind_of(run[-1][2]) != kind_of(stretch[2]):
            flush()
        run.append(stretch)
    flush()
    return result


def render(host_start_ms, host_end_ms, marks, min_ms=20.0):
    """The printable lines of the timeline."""
    lines = ["%9s %9s  %s" % ("at ms", "took ms", "until")]
    short_total = 0.0
    short_count = 0
    for start, duration, label in joined(stretches(host_start_ms, host_end_ms, marks)):
        if duration >= min_ms:
            lines.append("%9.0f %9.0f  %s" % (start, duration, label))
        else:
            short_total += duration
            short_count += 1
    lines.append("%9s %9.0f  %d shorter stretches together" % ("", short_total, short_count))
    lines.append("%9s %9.0f  wall time, host start to host end" % ("", host_end_ms - host_start_ms))
    return lines


def main():
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__)
    start, end = int(sys.argv[1]), int(sys.argv[2])
    min_ms = float(sys.argv[4]) if len(sys.argv) == 5 else 20.0
    for line in render(start, end, read_marks(sys.argv[3]), min_ms):
        print(line)


if __name__ == "__main__":
    main()
