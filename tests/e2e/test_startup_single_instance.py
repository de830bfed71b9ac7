"""A second start of the setup while another instance holds the single-instance mutex: the
caller gets -1, and a user sees why unless the run is hidden."""

import subprocess

import pytest

from e2e_product import (ALREADY_RUNNING_TEXT, EXIT_NOT_STARTED, HIDDEN_MODE, IDOK,
                         INTERACTIVE_MODES, MESSAGE_CAPTION)


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

