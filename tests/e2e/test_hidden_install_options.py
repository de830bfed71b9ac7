"""The options the installed client reads are kept at the end of a finished install: after
`PeloraSetup.exe /mode:noui` the current user's product key holds the five REG_DWORD options
(the defaults 1, 1, 1, 0, 1 on a first install, or what the machine's key held before) and the
options file EnvirConf.ini in the misc folder says FirstOpenLoginPanel=1. A refused run writes
neither (test_install_folder_verdict.py)."""

from e2e_product import EXIT_FINISHED, HIDDEN_MODE
from e2e_registry import reg_values

OPTIONS_KEY = r"SOFTWARE\Corvane\Pelora"
OPTION_NAMES = ["nShortcutDesktop", "nShortcutQuickLaunch", "nRunExe", "nShowNewFeature", "nStartRunExe"]


def stored_options(prefix, hive):
    values = reg_values(prefix, hive + "\\" + OPTIONS_KEY) or {}
    return [values.get(name) for name in OPTION_NAMES]


def dwords(*numbers):
    return [f"dword:{number:08x}" for number in numbers]


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
