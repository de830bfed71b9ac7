"""The funnel as the terminal report shows it: the figures in the right cells, columns that stay
aligned whatever the reports contain, and nothing a sender wrote reaching the terminal as a
control sequence."""

import re
import sys
import unicodedata
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2]))
sys.path.insert(0, str(Path(__file__).resolve().parent))

from collector.funnel import compute_funnel  # noqa: E402
from collector.report_text import format_funnel  # noqa: E402
from funnel_fixtures import MemoryStore, event  # noqa: E402

DAY = "2024-05-01"
NEXT_DAY = "2024-05-02"


def a_run(device, when, *ending, **columns):
    rows = [event("installer_start", device, when, **columns)]
    for action, values in ending:
        rows.append(event(action, device, when, **values))
    return rows


def week_of_reports():
    rows = []
    rows += a_run("A", f"{DAY}T08:00:00", ("installer_done", {"duration_s": 40}))
    rows += a_run("B", f"{DAY}T08:00:00", ("installer_error", {"error_code": 3001}),
                  ("installer_done", {"duration_s": 101}))
    rows += a_run("C", f"{DAY}T08:00:00", ("installer_error", {"error_code": 3001}))
    rows += a_run("D", f"{DAY}T08:00:00", ("installer_abort", {}))
    rows += a_run("E", f"{DAY}T08:00:00")
    rows += a_run("F", f"{DAY}T08:00:00")
    rows += a_run("G", f"{NEXT_DAY}T08:00:00", channel="映彩直播渠道")
    rows += a_run("H", f"{NEXT_DAY}T08:00:00", ("installer_done", {"duration_s": 7}),
                  version="1.9.0")
    rows.append(event("uninstaller_done", "A", f"{DAY}T09:00:00", exit_code=0, removed_data=1))
    rows.append(event("uninstaller_done", "B", f"{DAY}T09:00:00", exit_code=1, removed_data=0))
    rows.append(event("uninstaller_done", "H", "2024-05-03T09:00:00", exit_code=0, removed_data=0))
    rows.append(event("installer_error", "Z", f"{DAY}T09:00:00", error_code=12))
    return MemoryStore(rows, ["bad_header", "too_long", "bad_header"])


def width(text):
    return sum(0 if unicodedata.combining(c) else
               2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


def cells(line):
    """The cells of a table line (separated by two spaces or more) as (first, last column,
    text), columns counted as a terminal shows them."""
    found = []
    for match in re.finditer(r"\S+(?: \S+)*", line):
        start = width(line[:match.start()])
        found.append((start, start + width(match.group()), match.group()))
    return found


def table(report, title):
    """The lines of one table of the report: headers, rule and rows."""
    block = report.split("\n\n" + title + "\n", 1)[1].split("\n\n", 1)[0]
    return block.splitlines()


def test_the_installs_table_puts_each_figure_under_its_header():
    lines = table(format_funnel(compute_funnel(week_of_reports())), "Installs")
    header, rows = lines[1], lines[3:]
    assert [text for _, _, text in cells(header)] == [
        "day", "version", "channel", "started", "finished", "abandoned", "rate", "secs", "secs",
        "by error code"]
    assert [[text for _, _, text in cells(row)] for row in rows] == [
        [DAY, "1.14.301", "30004", "6", "2", "1", "33.3%", "70.5", "101", "3001×1, none×2"],
        [NEXT_DAY, "1.9.0", "30004", "1", "1", "0", "100.0%", "7", "7", "–"],
        [NEXT_DAY, "1.14.301", "映彩直播渠道", "1", "0", "0", "0.0%", "–", "–", "none×1"],
    ]
    # Numbers end where their header ends, and texts start where theirs starts, on every row,
    # the row with the double-width channel included.
    header_cells = cells(header)
    for row in rows:
        for (start, end, _), (row_start, row_end, _) in zip(header_cells[:3], cells(row)[:3]):
            assert row_start == start, (row, header)
        for (_, end, _), (_, row_end, _) in zip(header_cells[3:9], cells(row)[3:9]):
            assert row_end == end, (row, header)


def test_uninstalls_errors_of_finished_runs_unstarted_events_and_rejects_are_listed():
    report = format_funnel(compute_funnel(week_of_reports()))
    assert report.startswith("Install funnel: 8 started, 3 finished, 1 abandoned, 4 failed; "
                             "3 uninstalls\n")
    uninstalls = table(report, "Uninstalls")
    assert [text for _, _, text in cells(uninstalls[1])] == [
        "day", "version", "channel", "uninstalls", "user's data", "failed"]
    assert [[text for _, _, text in cells(row)] for row in uninstalls[3:]] == [
        [DAY, "1.14.301", "30004", "2", "1", "1"],
        ["2024-05-03", "1.14.301", "30004", "1", "0", "0"]]
    errors = table(report, "Errors in finished runs")
    assert [[text for _, _, text in cells(row)] for row in errors[2:]] == [
        [DAY, "1.14.301", "30004", "3001×1"]]
    assert "\n\nEvents before any start seen: installer_error×1\n" in report
    assert report.endswith("\n\nRejected input: bad_header×2, too_long×1\n")


def test_an_empty_store_says_so_and_shows_no_tables():
    report = format_funnel(compute_funnel(MemoryStore()))
    assert report.splitlines()[0] == "Install funnel: no install runs or uninstalls stored yet."
    assert "Installs" not in report and "Uninstalls" not in report
    assert "Rejected input: –" in report


def test_what_senders_wrote_cannot_steer_the_terminal_or_widen_the_table():
    hostile = "\x1b[2J\x1b]0;owned\x07" + "x" * 200
    rows = a_run("A", f"{DAY}T08:00:00", ("installer_done", {"duration_s": 3}),
                 channel=hostile, version="1.14.301\u202e")
    rows += a_run("B", f"{DAY}T08:00:00", ("installer_error", {"error_code": 4294967295}))
    report = format_funnel(compute_funnel(MemoryStore(rows, ["bad\rkind"])))
    assert not any(unicodedata.category(c) in ("Cc", "Cf") for c in report.replace("\n", ""))
    assert "\\x1b[2J\\x1b]0;owned\\x07…" in report
    assert "1.14.301\\u202e" in report
    assert "bad\\x0dkind×1" in report
    assert max(width(line) for line in report.splitlines()) <= 120
    lines = table(report, "Installs")
    assert len({cells(row)[3][1] for row in lines[1:2] + lines[3:]}) == 1, lines
