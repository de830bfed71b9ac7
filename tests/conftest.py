"""Shared by every pytest suite under tests/: the fault table of the fault tests (tests/faults),
printed at the end of any run that ran them. It lives here, not beside those tests, because with
several workers only the conftest files of the folders named on the command line are loaded by
the process that prints the summary. It also names the marker of the tests that measure how fast
the setup answers, which scripts/test.sh runs alone, after the others."""

_ROW = "fault_row"


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "quiet: measures response times; run alone, on an otherwise idle machine")


def _rows(terminalreporter):
    for outcome in ("passed", "failed", "error", "skipped"):
        for report in terminalreporter.stats.get(outcome, []):
            for name, cells in getattr(report, "user_properties", []):
                if name == _ROW and getattr(report, "when", "call") in ("call", "setup"):
                    yield outcome, report, cells


def pytest_terminal_summary(terminalreporter):
    rows = []
    seen = set()
    for outcome, report, cells in _rows(terminalreporter):
        if report.nodeid in seen:
            continue
        seen.add(report.nodeid)
        verdict = "as expected" if outcome == "passed" else outcome.upper()
        observed = f" ({cells['observed']})" if cells["observed"] else ""
        rows.append((cells["fault"], cells["made"], verdict + observed, cells["checked"]))
    if not rows:
        return
    terminalreporter.section("fault table")
    terminalreporter.write_line("| fault | how it was made | outcome | what was checked |")
    terminalreporter.write_line("|---|---|---|---|")
    for row in sorted(rows):
        terminalreporter.write_line("| " + " | ".join(cell.replace("|", "/") for cell in row) + " |")
