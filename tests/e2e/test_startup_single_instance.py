"""A second start of the setup while another instance holds the single-instance mutex: the
caller gets -1, a user sees why unless the run is hidden, and the binary log still tells that the
telemetry manager lived and went."""

import subprocess

import pytest

from e2e_product import (ALREADY_RUNNING_TEXT, EXIT_NOT_STARTED, HIDDEN_MODE, IDOK,
                         INTERACTIVE_MODES, MESSAGE_CAPTION)
from e2e_report import binary_log


@pytest.mark.parametrize("mode", list(INTERACTIVE_MODES))
def test_second_start_shows_already_running_and_exits_minus_one(
        mode, second_start_prefix, hold_mutex, start_setup, window_list):
    hold_mutex(second_start_prefix)
    setup = start_setup(second_start_prefix, *INTERACTIVE_MODES[mode])
    windows = window_list(second_start_prefix)

    boxes = windows.find(caption=MESSAGE_CAPTION, text=ALREADY_RUNNING_TEXT, pid=setup.pid,
                         wait_ms=20000)
    assert len(boxes) == 1, f"expected one 'already running' box, saw {windows.find(pid=setup.pid)}"
    box = boxes[0]
    assert box["class"] == "#32770"
    assert [button["id"] for button in box["buttons"]] == [IDOK], "an OK-only message box"
    # The box stands alone: no setup window was created behind it.
    assert [w for w in windows.find(pid=setup.pid) if w["hwnd"] != box["hwnd"]] == []
    # It waits for the user before the process ends.
    assert setup.running()

    assert windows.find(caption=MESSAGE_CAPTION, pid=setup.pid, press=IDOK)
    assert setup.wait(timeout=30) == EXIT_NOT_STARTED


def test_second_start_in_hidden_mode_exits_minus_one_without_a_window(
        second_start_prefix, hold_mutex, start_setup, window_list):
    hold_mutex(second_start_prefix)
    setup = start_setup(second_start_prefix, *HIDDEN_MODE)
    try:
        code = setup.wait(timeout=30)
    except subprocess.TimeoutExpired:
        pytest.fail(f"the hidden run did not end; its windows: "
                    f"{window_list(second_start_prefix).find(pid=setup.pid, hidden=True)}")
    assert code == EXIT_NOT_STARTED


def test_refused_start_reaches_a_linux_caller_as_255(second_start_prefix, hold_mutex, setup_exe):
    """Linux sees only the low byte of the exit code: -1 arrives as 255."""
    hold_mutex(second_start_prefix)
    assert second_start_prefix.run(setup_exe, *HIDDEN_MODE, timeout=30).returncode == 255



def test_refused_start_still_writes_its_binary_log(second_start_prefix, hold_mutex, start_setup):
    """The telemetry manager and the binary-log writer exist from process start, so a run that
    stops at its first check leaves its records; no report thread is started."""
    hold_mutex(second_start_prefix)
    setup = start_setup(second_start_prefix, *HIDDEN_MODE)
    assert setup.wait(timeout=30) == EXIT_NOT_STARTED

    records = [r for r in binary_log(second_start_prefix) if r["pid"] == setup.pid]
    assert records, "the refused run wrote no binary-log record"
    summary = [(r["category"], r["function"], r["message"]) for r in records]
    assert summary[0][:2] == ("PerfBenchmark", "CVLog_DoCVLogVW"), summary
    assert records[0]["level"] == 1
    assert summary[1:] == [
        ("PeloraDataReport.Event", "DataReportMgr::DataReportMgr", "数据上报上报构造完成"),
        ("PeloraDataReport.Event", "DataReportMgr::~DataReportMgr", "数据上报开始析构"),
        ("PeloraDataReport.Event", "DataReportMgr::~DataReportMgr", "数据上报析构完成"),
    ]
    assert len({r["cookie"] for r in records}) == 1
