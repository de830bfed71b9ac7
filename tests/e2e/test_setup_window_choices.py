"""What the welcome and location pages refuse: an unchecked agreement disables both install
buttons, the close button opens and closes the abort card, "放弃安装" gives up with an
installer_abort report, and a refused folder explains itself in a box and keeps the page."""

import time

import pytest

from e2e_drives import TmpfsMounts, map_drive
from e2e_product import EXIT_ABANDONED, IDOK, MESSAGE_CAPTION, VERSION
from e2e_screen import (AGREEMENT_BOX, CLOSE_BUTTON, CONTINUE_BUTTON, INSTALL_BUTTON,
                        LOCATION_INSTALL_BUTTON, LOCATION_LINK, MINIMISE_BUTTON, RETURN_BUTTON, changed_pixels)

DISK_FULL_TEXT = "磁盘空间不足，程序安装目录无效，请重新选择。(所需磁盘空间：77.0M)"
INVALID_TEXT = "您选择的安装路径无效，请重新选择。"
# The abort card's area and the welcome page's install button, in window coordinates.
CARD_AREA = (135, 115, 455, 325)
INSTALL_AREA = (195, 322, 395, 376)


def default_version_folder(prefix):
    return prefix.appdata / "Corvane" / "Pelora" / "App" / VERSION


def still_running(setup, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if not setup.running():
            return False
        time.sleep(0.5)
    return True


def test_unchecked_agreement_disables_both_install_buttons(screen_prefix, start_setup, setup_window):
    prefix = screen_prefix
    setup = start_setup(prefix)
    window = setup_window(prefix, setup)
    time.sleep(2)
    enabled = window.screenshot("welcome-agreed")
    window.click(AGREEMENT_BOX)
    disabled = window.screenshot("welcome-not-agreed")
    assert changed_pixels(enabled, disabled, INSTALL_AREA) > 1000, "the install button still looks enabled"

    window.click(INSTALL_BUTTON)
    window.click(LOCATION_LINK)
    assert window.path_box() is not None
    window.screenshot("location-not-agreed")
    window.click(LOCATION_INSTALL_BUTTON)
    assert still_running(setup, 5), "an install click without the agreement ended the setup"
    assert window.path_box() is not None, "a disabled install button left the location page"
    assert not default_version_folder(prefix).exists(), "a disabled install button installed"

    # Agreeing again (on the welcome page, where the box is) lets the install go on.
    window.click(RETURN_BUTTON)
    window.click(AGREEMENT_BOX)
    window.click(INSTALL_BUTTON)
    assert setup.wait(timeout=240) == 0
    assert (default_version_folder(prefix) / "Bin" / "Pelora.exe").exists()


def test_close_button_opens_the_card_and_giving_up_reports_the_abort(screen_prefix, start_setup, setup_window,
                                                                      report_server):
    prefix = screen_prefix
    prefix.env["PELORA_REPORT_SERVER"] = report_server.address
    setup = start_setup(prefix)
    window = setup_window(prefix, setup)
    time.sleep(2)
    welcome = window.screenshot("welcome-before-card")

    window.click(CLOSE_BUTTON)
    card = window.screenshot("abort-card")
    assert changed_pixels(card, welcome, CARD_AREA) > 10000, "the close button showed no card"
    window.click(CLOSE_BUTTON)
    closed = window.screenshot("abort-card-closed")
    assert changed_pixels(closed, welcome, CARD_AREA) == 0, "the second close did not close the card"

    window.click(CLOSE_BUTTON)
    window.click(CONTINUE_BUTTON)
    assert changed_pixels(window.screenshot("abort-card-continued"), welcome, CARD_AREA) == 0, \
        "the continue button did not close the card"
    assert setup.running()

    assert window.give_up(setup) == EXIT_ABANDONED
    actions = [value["string_value"] for report in report_server.reports() for item in report["list_reportItem"]
               for value in item["list_reportValue"] if value["name"] == "action"]
    assert "installer_abort" in actions, f"the server saw {actions}"
    assert not default_version_folder(prefix).exists()


def test_the_minimise_button_minimises_and_the_setup_goes_on(screen_prefix, start_setup, setup_window,
                                                             window_list):
    prefix = screen_prefix
    setup = start_setup(prefix)
    window = setup_window(prefix, setup)
    time.sleep(2)
    window.click(MINIMISE_BUTTON, settle=1)
    # A minimised window lies at the system's parking place, -32000.
    found = [w for w in window_list(prefix).find(pid=setup.pid) if w["hwnd"] == window.info["hwnd"]]
    assert found and found[0]["rect"][:2] == [-32000, -32000], f"not minimised: {found}"
    assert window.state() is None, "the window still shows at its place"
    assert still_running(setup, 2)


@pytest.fixture
def small_drive(prefix, tmp_path):
    mounts = TmpfsMounts(tmp_path)
    point = mounts.mount("small", 40 * 1024 * 1024)
    if point is None:
        mounts.close()
        pytest.skip("cannot mount a tmpfs here")
    yield map_drive(prefix, "t", "hd", target=point)
    mounts.close()


@pytest.mark.parametrize("typed, text, shot", [("T:\\Apps", DISK_FULL_TEXT, "refusal-disk-full"),
                                               ("T:\\A|pps", INVALID_TEXT, "refusal-invalid")])
def test_a_refused_folder_shows_its_box_and_keeps_the_page(screen_prefix, small_drive, start_setup, setup_window,
                                                           window_list, typed, text, shot):
    prefix = screen_prefix
    setup = start_setup(prefix)
    window = setup_window(prefix, setup)
    time.sleep(2)
    window.click(LOCATION_LINK)
    window.type_into_path_box(typed)
    window.click(LOCATION_INSTALL_BUTTON, settle=0)

    windows = window_list(prefix)
    boxes = windows.find(caption=MESSAGE_CAPTION, text=text, pid=setup.pid, wait_ms=60000)
    assert len(boxes) == 1, f"no refusal box; the setup's windows: {windows.find(pid=setup.pid)}"
    window.screenshot_of(shot, boxes[0]["rect"])
    assert windows.find(caption=MESSAGE_CAPTION, text=text, pid=setup.pid, press=IDOK)
    assert still_running(setup, 3), "the setup ended after the refusal"
    box = window.path_box()
    assert box is not None and box["text"] == typed, "the refusal did not keep the location page"
    assert list(small_drive.iterdir()) == []
