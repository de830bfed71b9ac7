"""One machine's installs, reported to the telemetry collector and counted in its funnel: a hidden
install that finishes, a second one that fails because the installed client is in use (after
reporting the removal steps that went wrong), the setup window opened and given up, another
hidden install that finishes and an uninstall that removes the user's data. Every program reports
to one collector on a fresh SQLite file; the collector stores each event once, and both
`scripts/collector.sh report` and the page's /funnel.json count exactly those runs; the page is
photographed with headless chromium into the build's screenshots folder.

Every Wine prefix of this machine gives the programs the same device identity (it is made from
the processor, the disk and the network adapter, which the prefixes share), so the collector sees
one device with five runs of the setup and one of the uninstaller, in this order."""

import shutil
import sqlite3
import statistics
import time

import pytest

from e2e_collector import Collector, counts, parse_report
from e2e_product import EXIT_ABANDONED, EXIT_FINISHED, HIDDEN_MODE, VERSION, version_folder, windows_path_in
from e2e_screen import screenshot_folder
from e2e_uninstall import run_uninstaller
from e2e_wine import FileHolder

CHANNEL = "30004"
# What the refused run reports: the removal of the installed version finds what it cannot remove
# (the client file in use keeps its folder, 1005) before the copy fails on that file.
KEPT_OLD_ROOT = 1005


@pytest.fixture
def collector(tmp_path):
    collector = Collector(tmp_path / "reports.sqlite3")
    yield collector
    collector.stop()


def reporting_to(prefix, collector):
    prefix.env["PELORA_REPORT_SERVER"] = collector.address
    return prefix


def stored_events(collector):
    """(action, error code, install or uninstall seconds, removed data) of every stored event, in
    the order stored."""
    with sqlite3.connect(collector.db) as database:
        return database.execute("SELECT action, error_code, duration_s, removed_data FROM events "
                                "ORDER BY id").fetchall()


def give_up_in_the_window(prefix, start_setup, setup_window):
    """The user opens the setup, clicks its close button and confirms with the give-up link."""
    setup = start_setup(prefix)
    window = setup_window(prefix, setup)
    time.sleep(2)
    assert window.give_up(setup) == EXIT_ABANDONED


def total(rows, column):
    return sum(int(row[column]) for row in rows)


def test_installs_a_failure_an_abandoned_window_and_an_uninstall_are_counted_exactly(
        make_prefix, screen_prefix, run_setup, start_setup, setup_window, tools, collector):
    first = reporting_to(make_prefix("win7"), collector)
    assert run_setup(first, *HIDDEN_MODE, timeout=240) == EXIT_FINISHED
    client = version_folder(first) / "Bin" / "Pelora.exe"
    with FileHolder(first, tools, windows_path_in(first, client), share="r"):
        assert run_setup(first, *HIDDEN_MODE, timeout=240) == EXIT_ABANDONED

    give_up_in_the_window(reporting_to(screen_prefix, collector), start_setup, setup_window)

    last = reporting_to(make_prefix("win7"), collector)
    assert run_setup(last, *HIDDEN_MODE, timeout=240) == EXIT_FINISHED
    assert run_uninstaller(last, tools, "/mode:noui", "/removedata") == 0

    # On the wire and in the database: each event once, in the order the programs sent them.
    events = stored_events(collector)
    actions = [event[0] for event in events]
    assert actions[:3] == ["installer_start", "installer_done", "installer_start"], events
    errors = [event[1] for event in events if event[0] == "installer_error"]
    assert errors and errors[-1] == KEPT_OLD_ROOT, events
    assert actions[3 + len(errors):] == ["installer_abort", "installer_start", "installer_done",
                                         "uninstaller_done"], events
    install_times = [event[2] for event in events if event[0] == "installer_done"]
    assert events[-1][3] == 1, "the uninstaller reported that it removed the user's data"

    # The terminal report: four runs of the setup, two finished, one failed with the code that
    # stopped it, one given up in the window; one uninstall, which removed the user's data.
    report = collector.report()
    figures = parse_report(report)
    assert figures["summary"] == {"started": 4, "finished": 2, "abandoned": 1, "failed": 1, "uninstalls": 1}, report
    installs = figures["installs"]
    assert {(row["version"], row["channel"]) for row in installs} == {(VERSION, CHANNEL)}, report
    assert (total(installs, "started"), total(installs, "finished"), total(installs, "abandoned")) == (4, 2, 1)
    failed = {}
    for row in installs:
        for code, number in counts(row["failed by error code"]).items():
            failed[code] = failed.get(code, 0) + number
    assert failed == {str(KEPT_OLD_ROOT): 1}, report
    if len(installs) == 1:  # all on one UTC day: the row's install times are these two
        assert installs[0]["finish rate"] == "50.0%"
        assert float(installs[0]["median secs"]) == statistics.median(install_times), report
        assert float(installs[0]["p95 secs"]) == max(install_times), report
    uninstalls = figures["uninstalls"]
    assert (total(uninstalls, "uninstalls"), total(uninstalls, "removed the user's data"),
            total(uninstalls, "failed")) == (1, 1, 0), report
    assert figures["errors_in_finished"] == [], "the finished installs reported no error"
    assert figures["no_start_seen"] == {}, report

    # The page counts the same.
    page = collector.funnel_json()
    rows = page["rows"]
    assert (sum(row["started"] for row in rows), sum(row["finished"] for row in rows),
            sum(row["abandoned"] for row in rows), sum(row["uninstalls_removed_data"] for row in rows)) == (4, 2, 1, 1)
    assert [code for row in rows for code in row["failed_by_code"]] == [str(KEPT_OLD_ROOT)]
    assert sorted(page["durations"]) == sorted(install_times)
    assert page["rejects"] == {}, "the programs sent nothing the collector refused"
    if shutil.which("chromium"):
        photo = collector.photograph_page(screenshot_folder() / "collector-funnel.png")
        assert photo.stat().st_size > 0
    assert collector.stop() == 0, collector.log()
