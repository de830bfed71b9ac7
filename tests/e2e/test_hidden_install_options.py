"""The options the installed client reads are kept at the end of a finished install: after
`PeloraSetup.exe /mode:noui` the current user's product key holds the five REG_DWORD options
(the defaults 1, 1, 1, 0, 1 on a first install, or what the machine's key held before) and the
options file EnvirConf.ini in the misc folder says FirstOpenLoginPanel=1. A refused run writes
neither (test_install_folder_verdict.py). No stored value decides what a hidden install does: it
pins as its command line and the defaults say."""

import pytest

from e2e_product import EXIT_FINISHED, HIDDEN_MODE, windows_path_in
from e2e_registry import reg_values

OPTIONS_KEY = r"SOFTWARE\Corvane\Pelora"
OPTION_NAMES = ["nShortcutDesktop", "nShortcutQuickLaunch", "nRunExe", "nShowNewFeature", "nStartRunExe"]
LAUNCH_SHORTCUT = "映彩直播.lnk"


def stored_options(prefix, hive):
    values = reg_values(prefix, hive + "\\" + OPTIONS_KEY) or {}
    return [values.get(name) for name in OPTION_NAMES]


def dwords(*numbers):
    return [f"dword:{number:08x}" for number in numbers]


def pin_requests(prefix):
    """The links the payload's pin program was asked to pin (the payload's stand-in writes one
    "arg" line per argument)."""
    log = prefix.appdata / "CorvaneTest" / "explorer.log"
    if not log.exists():
        return []
    return [line.partition("=")[2] for line in log.read_text(encoding="utf-8").splitlines() if line.startswith("arg")]


def test_a_first_install_saves_the_default_options_and_the_options_file(prefix, run_setup):
    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED

    assert stored_options(prefix, "HKCU") == dwords(1, 1, 1, 0, 1)
    options_file = prefix.appdata / "Corvane" / "Pelora" / "Misc" / "EnvirConf.ini"
    lines = options_file.read_bytes().decode("latin-1").split()
    assert lines.index("[Option]") < lines.index("FirstOpenLoginPanel=1")


def test_options_found_only_under_the_machine_are_kept_for_the_user(prefix, run_setup):
    prefix.reg_add("HKLM\\" + OPTIONS_KEY, "nShortcutDesktop", "0", kind="REG_DWORD")
    prefix.reg_add("HKLM\\" + OPTIONS_KEY, "nShowNewFeature", "1", kind="REG_DWORD")

    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED

    assert stored_options(prefix, "HKCU") == dwords(0, 1, 1, 1, 1)


@pytest.mark.parametrize("hive", ["HKCU", "HKLM"])
def test_a_hidden_install_pins_by_its_command_line_not_by_a_stored_choice(make_prefix, run_setup, hive):
    """Neither the client's "nShortcutQuickLaunch" (under the user, or only under the machine) nor
    the setup's own memory of the last window's box decides the pin of a run without a window."""
    prefix = make_prefix("win10")
    prefix.reg_add(hive + "\\" + OPTIONS_KEY, "nShortcutQuickLaunch", "0", kind="REG_DWORD")
    prefix.reg_add(hive + "\\" + OPTIONS_KEY, "nSetupQuickLaunch", "0", kind="REG_DWORD")

    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED

    quick_launch = prefix.appdata / "Microsoft" / "Internet Explorer" / "Quick Launch" / LAUNCH_SHORTCUT
    assert quick_launch.exists(), "a stored choice took the quick-launch shortcut away"
    assert pin_requests(prefix) == [windows_path_in(prefix, quick_launch)]
    # The client's option is kept for the client. The setup's own is the user's alone: a machine's
    # value is no choice, and a run without a window leaves the user's as it was.
    user_values = reg_values(prefix, "HKCU\\" + OPTIONS_KEY)
    assert user_values["nShortcutQuickLaunch"] == dwords(0)[0]
    assert user_values["nSetupQuickLaunch"] == dwords(0 if hive == "HKCU" else 1)[0]
