"""How the options a caller passes choose the run mode, seen from outside: with another instance
holding the single-instance mutex, an interactive mode answers with the "already running" box
and the hidden mode ends with -1 on its own."""

import subprocess

import pytest

from e2e_product import ALREADY_RUNNING_TEXT, EXIT_NOT_STARTED, IDOK, MESSAGE_CAPTION

HIDDEN = {
    "upper-case key and keyword": ("/MODE:NoUi",),
    "later mode wins": ("/silent:1", "/mode:noui"),
    "silent other than 1 changes nothing": ("/mode:noui", "/silent:2"),
    "silent true changes nothing": ("/mode:noui", "/silent:true"),
    "empty mode value changes nothing": ("/mode:noui", "/mode:"),
    "unknown keys are ignored": ("/foo:bar", "/mode:noui", "/src:vt"),
}

INTERACTIVE = {
    "later silent wins": ("/mode:noui", "/silent:1"),
    "silent 01": ("/mode:noui", "/silent:01"),
    "silent 1x": ("/mode:noui", "/silent:1x"),
    "dash instead of slash": ("-mode:noui",),
    "no slash": ("mode:noui",),
    "normal keyword": ("/mode:normal",),
    "unknown keyword": ("/mode:quiet",),
}


@pytest.mark.parametrize("options", list(HIDDEN.values()), ids=list(HIDDEN))
def test_options_that_select_the_hidden_mode(options, second_start_prefix, hold_mutex, start_setup, window_list):
    hold_mutex(second_start_prefix)
    setup = start_setup(second_start_prefix, *options)
    try:
        code = setup.wait(timeout=30)
    except subprocess.TimeoutExpired:
        pytest.fail(f"{options} did not run hidden; windows: "
                    f"{window_list(second_start_prefix).find(pid=setup.pid)}")
    assert code == EXIT_NOT_STARTED


@pytest.mark.parametrize("options", list(INTERACTIVE.values()), ids=list(INTERACTIVE))
def test_options_that_leave_an_interactive_mode(options, second_start_prefix, hold_mutex, start_setup,
                                                window_list):
    hold_mutex(second_start_prefix)
    setup = start_setup(second_start_prefix, *options)
    windows = window_list(second_start_prefix)
    found = windows.find(caption=MESSAGE_CAPTION, text=ALREADY_RUNNING_TEXT, pid=setup.pid,
                         wait_ms=20000, press=IDOK)
    if not found:
        code = setup.wait(timeout=30) if not setup.running() else "still running"
        pytest.fail(f"{options}: no 'already running' box (exit {code})")
    assert setup.wait(timeout=30) == EXIT_NOT_STARTED
