"""Every install asks for the verdict on its folder before anything is deployed: a folder that is
not on a fixed drive, has too little free space or cannot be written stops the install. A hidden
run then ends with 1; the fast mode explains the refusal in a message box and keeps its page."""

import time

from e2e_drives import map_drive
from e2e_product import EXIT_ABANDONED, HIDDEN_MODE, IDOK, INTERACTIVE_MODES, MESSAGE_CAPTION, PRODUCT_KEY
from e2e_payload import with_renumbered_resource
from e2e_registry import reg_values

RT_DIALOG = 5
SETUP_DIALOG = 1007
DISK_FULL_TEXT = "磁盘空间不足，程序安装目录无效，请重新选择。(所需磁盘空间：77.0M)"
USER_SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
# What the product puts into its version folder; none of it may appear anywhere else.
PRODUCT_ENTRIES = {"Bin", "Misc", "PeloraInstall.xml", "WMSysPr9.prx"}


def files_below(folder):
    return sorted(str(p.relative_to(folder)) for p in folder.rglob("*") if p.is_file())


def installed_folder(prefix):
    values = reg_values(prefix, PRODUCT_KEY)
    return None if values is None else values.get("Install")


def test_application_data_on_a_network_drive_installs_nothing(prefix, run_setup):
    """No install_dir and a default folder that is not on a fixed drive: there is no folder to
    install into, and the hidden run must not make one up from the current folder."""
    network = map_drive(prefix, "n", "network")
    (network / "AppData").mkdir()
    prefix.reg_add(USER_SHELL_FOLDERS, "AppData", "N:\\AppData", kind="REG_EXPAND_SZ")
    drive_c_before = {p.name for p in (prefix.path / "drive_c").iterdir()}

    assert run_setup(prefix, *HIDDEN_MODE, timeout=120) == EXIT_ABANDONED

    corvane = network / "AppData" / "Corvane"
    log = (corvane / "Logs" / "PeloraInstall.txt").read_bytes().decode("utf-16-le", errors="replace")
    assert "refused, verdict 1" in log, "the run did not use the application data on N:"
    # The staging folder, the install log and the crash reporter's copy of the extraction are all
    # that may appear; nothing of the product's own layout.
    allowed = ("STemp", "Logs", "Pelora\\AUTemp", "Pelora/AUTemp")
    stray = [f for f in files_below(network) if not any(f.startswith(f"AppData/Corvane/{a}") for a in allowed)]
    assert stray == []
    assert {p.name for p in (prefix.path / "drive_c").iterdir()} == drive_c_before | {"caller"}
    assert files_below(prefix.caller_folder) == []
    assert not PRODUCT_ENTRIES & {p.name for p in network.iterdir()}
    assert installed_folder(prefix) is None


def small_drive(prefix, tmpfs):
    """Drive T:, a fixed drive with 40 MiB: less than the product needs."""
    point = tmpfs("small", 40 * 1024 * 1024)
    return map_drive(prefix, "t", "hd", target=point)


def test_fast_mode_explains_too_little_space_and_keeps_its_page(prefix, tmpfs, start_setup, window_list):
    drive = small_drive(prefix, tmpfs)
    setup = start_setup(prefix, *INTERACTIVE_MODES["fast"], "/install_dir:T:\\Apps")
    windows = window_list(prefix)

    boxes = windows.find(caption=MESSAGE_CAPTION, text=DISK_FULL_TEXT, pid=setup.pid, wait_ms=60000)
    assert len(boxes) == 1, f"no free-space box; the setup's windows: {windows.find(pid=setup.pid)}"
    assert [button["id"] for button in boxes[0]["buttons"]] == [IDOK]
    assert windows.find(caption=MESSAGE_CAPTION, text=DISK_FULL_TEXT, pid=setup.pid, press=IDOK)

    # The refusal stops the install, not the setup: the window stays for another choice.
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:
        assert setup.running(), "the setup ended after the refusal"
        time.sleep(0.5)
    assert windows.find(caption=MESSAGE_CAPTION, text=DISK_FULL_TEXT, pid=setup.pid) == []
    assert list(drive.iterdir()) == []
    assert installed_folder(prefix) is None


def test_hidden_run_without_its_window_ends_with_1(prefix, setup_exe, run_setup, tmp_path):
    """A copy of the program that lacks its dialog template: the hidden window cannot be created,
    and the run ends instead of waiting for a window that will never come."""
    copy = with_renumbered_resource(setup_exe, RT_DIALOG, SETUP_DIALOG, SETUP_DIALOG + 1,
                                    tmp_path / "PeloraSetup-nodialog.exe")
    assert run_setup(prefix, *HIDDEN_MODE, timeout=60, exe=copy) == EXIT_ABANDONED
    assert installed_folder(prefix) is None
