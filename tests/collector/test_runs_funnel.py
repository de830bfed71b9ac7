"""Install runs and the funnel figures, read from an in-memory store and from an SQLite file
with the collector's tables."""

import random
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2]))
sys.path.insert(0, str(Path(__file__).resolve().parent))

from collector.funnel import compute_funnel, nearest_rank  # noqa: E402
from collector.runs import group_runs  # noqa: E402
from funnel_fixtures import STORE_KINDS, at, event, make_store  # noqa: E402

DAY = "2024-05-01"


def funnel_of(kind, tmp_path, rows, rejects=(), **window):
    return compute_funnel(make_store(kind, tmp_path, rows, rejects), **window)


def only_row(funnel):
    assert len(funnel.rows) == 1, funnel.rows
    return funnel.rows[0]


@pytest.mark.parametrize("kind", STORE_KINDS)
def test_each_start_opens_a_run_and_its_last_event_decides_how_it_ended(kind, tmp_path):
    rows = [
        event("installer_start", "A", f"{DAY}T08:00:00"),
        event("installer_done", "A", f"{DAY}T08:00:42", duration_s=42),
        event("installer_start", "A", f"{DAY}T09:00:00"),
        event("installer_abort", "A", f"{DAY}T09:00:05"),
        event("installer_start", "A", f"{DAY}T10:00:00"),
        event("installer_error", "A", f"{DAY}T10:00:01", error_code=3001),
        event("installer_error", "A", f"{DAY}T10:00:02", error_code=3002),
        event("installer_start", "A", f"{DAY}T11:00:00"),
        event("installer_start", "A", f"{DAY}T12:00:00"),
        event("installer_error", "A", f"{DAY}T12:00:01", error_code=3001),
        event("installer_done", "A", f"{DAY}T12:00:50", duration_s=50),
        # A done after an abort: the install went on to its end.
        event("installer_start", "A", f"{DAY}T13:00:00"),
        event("installer_abort", "A", f"{DAY}T13:00:01"),
        event("installer_done", "A", f"{DAY}T13:01:00", duration_s=60),
    ]
    row = only_row(funnel_of(kind, tmp_path, rows))
    assert (row["started"], row["finished"], row["abandoned"]) == (6, 3, 1)
    # The failed run with two errors stopped at the later one; the start followed by nothing
    # failed without a code.
    assert row["failed_by_code"] == {"3002": 1, "none": 1}
    assert row["errors_in_finished"] == {"3001": 1}
    assert row["finish_rate"] == pytest.approx(0.5)
    assert (row["median_s"], row["p95_s"]) == (50, 60)


@pytest.mark.parametrize("kind", STORE_KINDS)
def test_devices_are_followed_apart_and_events_before_a_start_belong_to_no_run(kind, tmp_path):
    rows = [
        event("installer_done", "A", f"{DAY}T07:00:00", duration_s=99),
        event("installer_start", "B", f"{DAY}T08:00:00"),
        event("installer_start", "A", f"{DAY}T08:00:01"),
        event("installer_done", "B", f"{DAY}T08:00:20", duration_s=20),
        event("installer_error", "A", f"{DAY}T08:00:21", error_code=4001),
        # Without a device identity the sender's address names the machine, whatever its port.
        event("installer_start", "", f"{DAY}T09:00:00", peer="10.0.0.1:5000"),
        event("installer_error", "", f"{DAY}T09:00:01", peer="10.0.0.2:5001", error_code=7),
        event("installer_done", "", f"{DAY}T09:00:30", peer="10.0.0.1:5002", duration_s=30),
    ]
    funnel = funnel_of(kind, tmp_path, rows)
    row = only_row(funnel)
    assert (row["started"], row["finished"], row["abandoned"]) == (3, 2, 0)
    assert row["failed_by_code"] == {"4001": 1}
    assert row["errors_in_finished"] == {}
    assert sorted(funnel.durations) == [20, 30]
    assert funnel.no_start_seen == {"installer_done": 1, "installer_error": 1}


def test_a_run_is_counted_under_its_start_and_days_end_at_utc_midnight():
    rows = [
        event("installer_start", "A", f"{DAY}T23:59:59.999999", version="1.14.301",
              channel="30004", os_version="10.0.19045"),
        event("installer_done", "A", "2024-05-02T00:00:00", version="1.15.0", channel="999",
              duration_s=1),
        event("installer_start", "B", "2024-05-02T00:00:00"),
        event("uninstaller_done", "A", "2024-05-02T00:00:01", exit_code=0, removed_data=0),
    ]
    runs = group_runs(dict(row, id=n) for n, row in enumerate(rows, 1)).runs
    assert [(run.day, run.version, run.channel, run.os_version) for run in runs] == [
        (DAY, "1.14.301", "30004", "10.0.19045"), ("2024-05-02", "1.14.301", "30004", "")]
    assert runs[0].outcome == "finished" and runs[0].duration_s == 1


@pytest.mark.parametrize("kind", STORE_KINDS)
def test_rows_are_per_day_version_and_channel_in_that_order(kind, tmp_path):
    rows = [
        event("installer_start", "A", "2024-05-02T10:00:00", version="1.14.301"),
        event("installer_start", "B", "2024-05-02T10:00:00", version="1.9.0"),
        event("installer_start", "C", "2024-05-02T10:00:00", version="1.9.0", channel="20001"),
        event("installer_start", "D", f"{DAY}T23:59:59.999999", version="1.14.301"),
        event("installer_done", "D", "2024-05-02T00:00:03", duration_s=3),
        event("uninstaller_done", "E", "2024-05-03T00:00:00", exit_code=0, removed_data=1),
    ]
    funnel = funnel_of(kind, tmp_path, rows)
    assert [(row["day"], row["version"], row["channel"], row["started"]) for row in funnel.rows] == [
        (DAY, "1.14.301", "30004", 1),
        ("2024-05-02", "1.9.0", "20001", 1),
        ("2024-05-02", "1.9.0", "30004", 1),
        ("2024-05-02", "1.14.301", "30004", 1),
        ("2024-05-03", "1.14.301", "30004", 0),
    ]
    assert funnel.rows[0]["finish_rate"] == 1.0
    assert funnel.rows[-1]["finish_rate"] is None
    assert funnel.daily == [{"day": DAY, "started": 1, "finished": 1},
                            {"day": "2024-05-02", "started": 3, "finished": 0}]


@pytest.mark.parametrize("values, median, p95", [
    ([7], 7, 7),
    ([30, 10], 20, 30),
    (list(range(1, 21)), 10.5, 19),
    (list(range(1, 101)), 50.5, 95),
])
def test_median_and_nearest_rank_95th_percentile_of_install_times(values, median, p95, tmp_path):
    shuffled = values[:]
    random.Random(5).shuffle(shuffled)
    assert nearest_rank(shuffled, 95) == p95
    assert nearest_rank(shuffled, 100) == max(values)
    rows = []
    for number, seconds in enumerate(shuffled):
        rows.append(event("installer_start", f"D{number}", f"{DAY}T10:00:00"))
        rows.append(event("installer_done", f"D{number}", f"{DAY}T10:05:00", duration_s=seconds))
    row = only_row(funnel_of("memory", tmp_path, rows))
    assert (row["median_s"], row["p95_s"]) == (median, p95)


@pytest.mark.parametrize("kind", STORE_KINDS)
def test_uninstalls_count_removed_data_and_failures(kind, tmp_path):
    rows = [
        event("uninstaller_done", "A", f"{DAY}T10:00:00", exit_code=0, removed_data=1),
        event("uninstaller_done", "B", f"{DAY}T11:00:00", exit_code=1, removed_data=0),
        event("uninstaller_done", "C", f"{DAY}T12:00:00", exit_code=0, removed_data=0),
        # An uninstall is not an installer event: it neither opens nor ends a run.
        event("installer_start", "C", f"{DAY}T13:00:00"),
        event("uninstaller_done", "C", f"{DAY}T13:00:01", exit_code=0, removed_data=1),
    ]
    row = only_row(funnel_of(kind, tmp_path, rows))
    assert (row["uninstalls"], row["uninstalls_removed_data"], row["uninstalls_failed"]) == (4, 2, 1)
    assert (row["started"], row["finished"], row["failed_by_code"]) == (1, 0, {"none": 1})


@pytest.mark.parametrize("kind", STORE_KINDS)
def test_windows_versions_rejects_and_the_time_window(kind, tmp_path):
    rows = [
        event("installer_start", "A", f"{DAY}T10:00:00", os_version="10.0.19045"),
        event("installer_start", "B", f"{DAY}T11:00:00"),
        event("installer_start", "C", "2024-05-02T11:00:00"),
        event("installer_done", "C", "2024-05-02T11:00:09", duration_s=9),
    ]
    rejects = ["bad_header", "too_long", "bad_header"]
    store = make_store(kind, tmp_path, rows, rejects)
    funnel = compute_funnel(store)
    assert funnel.os_versions == {"10.0.19045": 1, "not reported": 2}
    assert funnel.rejects == {"bad_header": 2, "too_long": 1}

    # From half past ten to just before C's done: A is out, C started but did not finish.
    window = compute_funnel(store, since_us=at(f"{DAY}T10:30:00"),
                            until_us=at("2024-05-02T11:00:05"))
    assert [(row["day"], row["started"], row["finished"]) for row in window.rows] == [
        (DAY, 1, 0), ("2024-05-02", 1, 0)]
