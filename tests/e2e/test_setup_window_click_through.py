"""A person installs by clicking through the setup window: the welcome page, the location page
with a typed folder and the quick-launch box unchecked, the install button, the moving progress
page and the end; the folder and the install options are kept for the next run."""

import time

from e2e_drives import map_drive
from e2e_product import EXIT_FINISHED, PRODUCT_KEY, VERSION
from e2e_registry import reg_values
from e2e_screen import (BROWSE_BUTTON, LOCATION_INSTALL_BUTTON, LOCATION_LINK, PROGRESS_AREA, QUICK_LAUNCH_BOX,
                        RETURN_BUTTON, changed_pixels, pixels)

# The options as the run leaves them: the client's are the defaults, except one the user's client
# had already changed, which the setup keeps; the setup's own holds the unchecked quick-launch box.
OPTION_VALUES = {"nShortcutDesktop": 1, "nShortcutQuickLaunch": 1, "nRunExe": 1, "nShowNewFeature": 7,
                 "nStartRunExe": 1, "nSetupQuickLaunch": 0}


CLOSE_AREA = (566, 0, 590, 24)


def dword(data):
    assert data.startswith("dword:"), data
    return int(data[len("dword:"):], 16)


def wait_for(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while not condition():
        assert time.monotonic() < deadline, what
        time.sleep(0.2)


def default_root(prefix):
    return "C:\\users\\" + prefix.user + "\\AppData\\Roaming\\Corvane\\Pelora\\App"


def test_typed_folder_is_installed_after_clicks_and_kept(screen_prefix, start_setup, setup_window):
    prefix = screen_prefix
    apps_drive = map_drive(prefix, "d", "hd")
    prefix.reg_add(PRODUCT_KEY, "nShowNewFeature", "7", kind="REG_DWORD")
    setup = start_setup(prefix)
    window = setup_window(prefix, setup)
    time.sleep(2)
    welcome = window.screenshot("welcome")
    assert window.path_box() is None, "the welcome page has no path box"

    window.click(LOCATION_LINK)
    box = window.path_box()
    assert box is not None, "the location link did not open the location page"
    assert box["id"] == 77
    assert box["text"].lower() == default_root(prefix).lower()
    window.screenshot("location")

    # Back and forth keeps what was typed.
    window.type_into_path_box("D:\\Apps")
    assert window.path_box()["text"] == "D:\\Apps"
    window.click(RETURN_BUTTON)
    assert window.path_box() is None, "the return button leaves the location page"
    window.click(LOCATION_LINK)
    assert window.path_box()["text"] == "D:\\Apps", "the page forgot the typed folder"
    window.screenshot("location-typed")

    window.click(QUICK_LAUNCH_BOX)
    window.click(LOCATION_INSTALL_BUTTON, settle=0)
    # The progress page: the bar and the percentage move while the files are copied.
    first = window.screenshot("progress-early")
    wait_for(lambda: window.path_box() is None, 10, "the install button did not leave the location page")
    time.sleep(1.5)
    second = window.screenshot("progress-mid")
    assert pixels(first, PROGRESS_AREA) != pixels(second, PROGRESS_AREA), "the progress page did not move"
    # From the install click on the abort card is out of reach: the close button shows Disabled.
    assert changed_pixels(welcome, second, CLOSE_AREA) > 20, "the close button still looks enabled"
    # The window ends as soon as the install has finished: its last look is photographed while it
    # is still there (a fast install may be over already at the progress picture above).
    deadline = time.monotonic() + 240
    while setup.running() and time.monotonic() < deadline:
        if window.state() is not None:
            window.screenshot("finish")
        time.sleep(0.5)
    assert setup.wait(timeout=30) == EXIT_FINISHED

    version_folder = apps_drive / "Apps" / "Pelora" / VERSION
    assert (version_folder / "Bin" / "Pelora.exe").exists()
    assert reg_values(prefix, PRODUCT_KEY)["Install"].rstrip("\\").lower() == f"d:\\apps\\pelora\\{VERSION}"
    quick_launch = prefix.appdata / "Microsoft" / "Internet Explorer" / "Quick Launch"
    assert not list(quick_launch.glob("*.lnk")), "the unchecked quick-launch box was ignored"
    # The options the installed client reads, and its options file.
    values = reg_values(prefix, PRODUCT_KEY)
    assert {name: dword(values[name]) for name in OPTION_VALUES} == OPTION_VALUES
    ini = prefix.appdata / "Corvane" / "Pelora" / "Misc" / "EnvirConf.ini"
    assert ini.exists(), "the options file was not written at the end of the run"
    raw = ini.read_bytes()
    text = raw.decode("utf-16") if raw[:2] == b"\xff\xfe" else raw.decode("latin-1")
    assert "[Option]" in text and "FirstOpenLoginPanel=1" in text


def test_a_browsed_folder_becomes_a_product_root(screen_prefix, start_setup, setup_window, window_list):
    """The folder picker proposes {picked}\\Pelora; a browsed folder is a product root, so the
    version folder goes below its App folder."""
    prefix = screen_prefix
    # The install goes to the prefix's desktop, which must be a folder of the prefix, not a link out.
    assert not (prefix.path / "drive_c" / "users" / prefix.user / "Desktop").is_symlink()
    setup = start_setup(prefix)
    window = setup_window(prefix, setup)
    time.sleep(2)
    window.click(LOCATION_LINK)
    window.click(BROWSE_BUTTON, settle=0)
    windows = window_list(prefix)
    pickers = windows.find(caption="Browse for Folder", pid=setup.pid, wait_ms=30000)
    assert len(pickers) == 1, f"no folder picker; the setup's windows: {windows.find(pid=setup.pid)}"
    assert "选择安装目录" in pickers[0]["statics"]
    window.screenshot_of("browse", pickers[0]["rect"])
    # The picker starts on the desktop; OK takes it.
    assert windows.find(caption="Browse for Folder", pid=setup.pid, press=1)
    time.sleep(1)
    desktop = "C:\\users\\" + prefix.user + "\\Desktop"
    assert window.path_box()["text"].lower() == (desktop + "\\Pelora").lower()

    window.click(LOCATION_INSTALL_BUTTON)
    assert setup.wait(timeout=240) == EXIT_FINISHED
    installed = prefix.path / "drive_c" / "users" / prefix.user / "Desktop" / "Pelora" / "App" / VERSION
    assert (installed / "Bin" / "Pelora.exe").exists()
