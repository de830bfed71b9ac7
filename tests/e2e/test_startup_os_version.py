"""Windows older than Windows 2000 (version 5.0) is refused at start-up; Windows 2000 itself is
accepted. Wine's 64-bit prefixes cannot be switched to NT 4.0 with winecfg, so the nt40 template
sets the version Wine reports through HKCU\\Software\\Wine "Version"."""

import subprocess

import pytest

from e2e_install_run import install_with_newer_version_registered
from e2e_product import (ALREADY_RUNNING_TEXT, EXIT_NOT_STARTED, HIDDEN_MODE, IDOK,
                         INTERACTIVE_MODES, MESSAGE_CAPTION, OS_TOO_OLD_TEXT, install_log_path)


def reported_version(prefix):
    return prefix.run("cmd", "/c", "ver").stdout.decode(errors="replace").strip()


@pytest.fixture
def nt4(make_prefix):
    prefix = make_prefix("nt40")
    assert "4.0" in reported_version(prefix), "the nt40 prefix must report Windows NT 4.0"
    return prefix


@pytest.mark.parametrize("mode", list(INTERACTIVE_MODES))
def test_windows_nt4_shows_os_too_old_and_exits_minus_one(mode, nt4, start_setup, window_list):
    setup = start_setup(nt4, *INTERACTIVE_MODES[mode])
    windows = window_list(nt4)
    boxes = windows.find(caption=MESSAGE_CAPTION, text=OS_TOO_OLD_TEXT, pid=setup.pid,
                         wait_ms=20000)
    assert len(boxes) == 1, f"expected one 'too old' box, saw {windows.find(pid=setup.pid)}"
    assert [button["id"] for button in boxes[0]["buttons"]] == [IDOK]
    assert setup.running()
    assert windows.find(caption=MESSAGE_CAPTION, pid=setup.pid, press=IDOK)
    assert setup.wait(timeout=30) == EXIT_NOT_STARTED


def test_windows_nt4_in_hidden_mode_exits_minus_one_without_a_window(nt4, start_setup, window_list):
    setup = start_setup(nt4, *HIDDEN_MODE)
    try:
        code = setup.wait(timeout=30)
    except subprocess.TimeoutExpired:
        pytest.fail(f"the hidden run did not end; its windows: "
                    f"{window_list(nt4).find(pid=setup.pid, hidden=True)}")
    assert code == EXIT_NOT_STARTED


def test_the_single_instance_check_comes_before_the_version_check(
        nt4, hold_mutex, start_setup, window_list):
    hold_mutex(nt4)
    setup = start_setup(nt4)
    windows = window_list(nt4)
    assert windows.find(caption=MESSAGE_CAPTION, text=ALREADY_RUNNING_TEXT, pid=setup.pid,
                        wait_ms=20000, press=IDOK), windows.find(pid=setup.pid)
    assert setup.wait(timeout=30) == EXIT_NOT_STARTED


def test_windows_2000_passes_the_version_check(prefix, run_setup):
    """Version 5.0 is the minimum: start-up goes on to open the install log (and then stops at
    the newer installed version, which keeps the run short)."""
    prefix.reg_add(r"HKCU\Software\Wine", "Version", "win2k")
    assert "5.0" in reported_version(prefix)
    assert install_with_newer_version_registered(prefix, run_setup) == EXIT_NOT_STARTED
    assert install_log_path(prefix).exists()
