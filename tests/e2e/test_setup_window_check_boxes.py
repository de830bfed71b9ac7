"""The two check boxes of the setup window do what they show, however the user's gesture went: a
press on a box that is released beside it flips the box, and the install button and the quick-launch
pin follow. The quick-launch box starts with the choice the user made in the last window, which the
setup keeps in a value of its own; the client's "nShortcutQuickLaunch" does not decide it."""

import time

from e2e_product import EXIT_FINISHED, PRODUCT_KEY, VERSION
from e2e_registry import reg_values
from e2e_screen import (AGREEMENT_BOX, INSTALL_BUTTON, LOCATION_INSTALL_BUTTON, LOCATION_LINK, LOCATION_PAGE_Y,
                        QUICK_LAUNCH_BOX, RETURN_BUTTON, changed_pixels, looks_checked)
from test_setup_window_choices import still_running

INSTALL_AREA = (195, 322, 395, 376)
LOCATION_INSTALL_AREA = (394, LOCATION_PAGE_Y + 102, 482, LOCATION_PAGE_Y + 130)
# Points beside the boxes where no widget lies: on the welcome page and on the location page.
BESIDE_AGREEMENT_BOX = (100, 395)
BESIDE_QUICK_LAUNCH_BOX = (300, LOCATION_PAGE_Y + 20)


def quick_launch_links(prefix):
    folder = prefix.appdata / "Microsoft" / "Internet Explorer" / "Quick Launch"
    return sorted(path.name for path in folder.glob("*.lnk"))


def dword(data):
    assert data is not None and data.startswith("dword:"), data
    return int(data[len("dword:"):], 16)


def press_and_release_beside(window, box, beside):
    window.press(box)
    window.release(beside)


def test_a_box_released_beside_itself_acts_as_it_shows(screen_prefix, start_setup, setup_window):
    prefix = screen_prefix
    setup = start_setup(prefix)
    window = setup_window(prefix, setup)
    time.sleep(2)
    agreed = window.screenshot("boxes-welcome")
    assert looks_checked(agreed, AGREEMENT_BOX)

    # The agreement box goes down and the button comes up beside it: the box shows unchecked, so
    # the install button is disabled and an install click does nothing.
    press_and_release_beside(window, AGREEMENT_BOX, BESIDE_AGREEMENT_BOX)
    refused = window.screenshot("boxes-agreement-released-beside")
    assert not looks_checked(refused, AGREEMENT_BOX), "the press did not flip the agreement box"
    assert changed_pixels(agreed, refused, INSTALL_AREA) > 1000, "the install button still looks enabled"
    window.click(INSTALL_BUTTON)
    assert still_running(setup, 3), "an install click without the agreement ended the setup"
    assert not (prefix.appdata / "Corvane" / "Pelora" / "App" / VERSION).exists(), \
        "the install ran without the agreement"
    # The location page's install button follows the same box.
    window.click(LOCATION_LINK)
    location_refused = window.screenshot("boxes-location-not-agreed")
    window.click(RETURN_BUTTON)

    press_and_release_beside(window, AGREEMENT_BOX, BESIDE_AGREEMENT_BOX)
    agreed_again = window.screenshot("boxes-agreement-again")
    assert looks_checked(agreed_again, AGREEMENT_BOX)
    assert changed_pixels(agreed, agreed_again, INSTALL_AREA) < 20, "the install button did not come back"

    # The quick-launch box, the same way: it shows unchecked, so the install leaves no pin.
    window.click(LOCATION_LINK)
    location = window.screenshot("boxes-location")
    assert looks_checked(location, QUICK_LAUNCH_BOX), "the quick-launch box does not start checked"
    assert changed_pixels(location_refused, location, LOCATION_INSTALL_AREA) > 500, \
        "the location page's install button did not follow the agreement"
    press_and_release_beside(window, QUICK_LAUNCH_BOX, BESIDE_QUICK_LAUNCH_BOX)
    unchecked = window.screenshot("boxes-quick-launch-released-beside")
    assert not looks_checked(unchecked, QUICK_LAUNCH_BOX), "the press did not flip the quick-launch box"

    window.click(LOCATION_INSTALL_BUTTON, settle=0)
    assert setup.wait(timeout=240) == EXIT_FINISHED
    assert (prefix.appdata / "Corvane" / "Pelora" / "App" / VERSION / "Bin" / "Pelora.exe").exists()
    assert quick_launch_links(prefix) == [], "the box showed unchecked, yet the install pinned"
    # The choice is kept for the next window in the setup's own value; the client's stays as it was.
    values = reg_values(prefix, PRODUCT_KEY)
    assert dword(values.get("nSetupQuickLaunch")) == 0
    assert dword(values.get("nShortcutQuickLaunch")) == 1


def test_the_last_windows_choice_presets_the_quick_launch_box(screen_prefix, start_setup, setup_window):
    prefix = screen_prefix
    # The setup's own memory says unchecked; the client's option says the opposite and is no choice.
    prefix.reg_add(PRODUCT_KEY, "nSetupQuickLaunch", "0", kind="REG_DWORD")
    prefix.reg_add(PRODUCT_KEY, "nShortcutQuickLaunch", "1", kind="REG_DWORD")
    setup = start_setup(prefix)
    window = setup_window(prefix, setup)
    time.sleep(2)
    window.click(LOCATION_LINK)
    location = window.screenshot("boxes-location-preset")
    assert not looks_checked(location, QUICK_LAUNCH_BOX), "the box does not show the last window's choice"

    window.click(LOCATION_INSTALL_BUTTON, settle=0)
    assert setup.wait(timeout=240) == EXIT_FINISHED
    assert quick_launch_links(prefix) == [], "the box showed unchecked, yet the install pinned"
    values = reg_values(prefix, PRODUCT_KEY)
    assert dword(values.get("nSetupQuickLaunch")) == 0
    assert dword(values.get("nShortcutQuickLaunch")) == 1, "the client's own option was changed"
