"""Install folders near the path limit and with non-ASCII names: each is either installed whole,
at exactly the path asked for, or refused with a log line that says why, leaving nothing behind.
No product file is ever written under a cut path."""

import pytest

from e2e_drives import map_drive
from e2e_product import EXIT_ABANDONED, EXIT_FINISHED, HIDDEN_MODE, PRODUCT_KEY, VERSION, install_log_messages
from e2e_registry import reg_values

MAX_PATH = 260
SIDE_SUFFIX = len(".rename")  # what a file's name grows by while it is replaced


def install_dir(length, filler="a"):
    """D:\\L\\... of exactly `length` characters, in folder names of at most 60."""
    folder = "D:\\L"
    while len(folder) < length:
        piece = filler * min(60, length - len(folder) - 1)
        folder += "\\" + piece if piece else ""
        if not piece:
            folder += "b"  # one character left: widen the last name
    assert len(folder) == length
    return folder


def deepest_below(folder):
    return max(len(str(p.relative_to(folder)).replace("/", "\\")) for p in folder.rglob("*"))


@pytest.fixture(scope="module")
def deepest_product_path(tmp_path_factory, display, tools, setup_exe):
    """The longest path below an installed version folder, from one install with a short folder."""
    from e2e_wine import SetupProcess, WinePrefix
    prefix = WinePrefix.create(tmp_path_factory.mktemp("deepest") / "prefix", "win7")
    try:
        drive = map_drive(prefix, "d", "hd")
        setup = SetupProcess(prefix, tools, setup_exe, (*HIDDEN_MODE, "/install_dir:D:\\P"))
        assert setup.wait(timeout=180) == EXIT_FINISHED
        return deepest_below(drive / "P" / VERSION)
    finally:
        prefix.stop_server()


def longest_fitting_dir(deepest):
    """The longest install_dir whose deepest product path still leaves room for a side name."""
    return MAX_PATH - 1 - SIDE_SUFFIX - deepest - 1 - len(VERSION) - 1


CASES = {
    "at the limit, Chinese names": lambda deepest: (longest_fitting_dir(deepest), "映"),
    "one over the limit": lambda deepest: (longest_fitting_dir(deepest) + 1, "a"),
    "240 characters": lambda deepest: (240, "a"),
    "250 characters, Chinese names": lambda deepest: (250, "彩"),
    "259 characters": lambda deepest: (259, "a"),
}


@pytest.mark.parametrize("case", CASES)
def test_a_long_install_folder_is_installed_whole_or_refused_with_a_reason(prefix, run_setup, deepest_product_path,
                                                                           case, fault_row):
    length, filler = CASES[case](deepest_product_path)
    fits = length <= longest_fitting_dir(deepest_product_path)
    row = fault_row(f"install folder of {length} characters ({case})",
                    f"/install_dir: on a fixed drive D:, the product's deepest path is {deepest_product_path} below "
                    "its version folder",
                    "installed whole at that path" if fits else
                    "exit 1; a log line says why; nothing left on D:; no product key")
    drive = map_drive(prefix, "d", "hd")
    folder = install_dir(length, filler)
    code = run_setup(prefix, *HIDDEN_MODE, f"/install_dir:{folder}", timeout=180)
    row.observed(f"exit {code}")
    installed = drive / folder[3:].replace("\\", "/")
    if fits:
        assert code == EXIT_FINISHED
        assert deepest_below(installed / VERSION) == deepest_product_path
        assert (installed / "PL.exe").is_file()
        assert reg_values(prefix, PRODUCT_KEY)["Install"] == f"{folder}\\{VERSION}"
        return
    assert code == EXIT_ABANDONED
    messages = install_log_messages(prefix)
    reasons = [m for m in messages if m.startswith("[setup]install folder too long:") or
               (m.startswith("[setup]install folder ") and "refused" in m)]
    assert reasons, messages[-30:]
    assert folder in reasons[0]
    row.observed("refused by the folder check" if "refused" in reasons[0] else "refused: too long for the deepest path")
    assert list(drive.iterdir()) == []
    assert reg_values(prefix, PRODUCT_KEY) is None or "Install" not in reg_values(prefix, PRODUCT_KEY)
