"""The shortcuts a hidden install leaves: on the desktop, in Quick Launch and in the start-menu
group "岚拓软件\\映彩直播" (launch and uninstall shortcuts), each launch shortcut starting
"PL.exe" in the product root with its start source; the quick-launch shortcut is handed to the
pin program on Windows 10. A second install over the first leaves exactly one set, and a desktop
that cannot take the shortcut is reported as installer_error 2002 while the install completes."""

import subprocess

import pytest

from e2e_product import EXIT_FINISHED, HIDDEN_MODE, VERSION, install_log_path
from e2e_report import ReportServer

LAUNCH = "映彩直播.lnk"
UNINSTALL = "卸载映彩直播.lnk"


def user_folder(prefix):
    return prefix.path / "drive_c" / "users" / prefix.user


def shortcut_folders(prefix):
    """The folders of the product's shortcuts, by the start source their launch shortcut passes."""
    programs = prefix.appdata / "Microsoft" / "Windows" / "Start Menu" / "Programs"
    return {
        "desktop_short": user_folder(prefix) / "Desktop",
        "desktop_launchbar": prefix.appdata / "Microsoft" / "Internet Explorer" / "Quick Launch",
        "desktop_start": programs / "岚拓软件" / "映彩直播",
    }


def windows(path, prefix):
    return "C:\\" + str(path.relative_to(prefix.path / "drive_c")).replace("/", "\\")


def lnkinfo(path):
    """The fields lnkinfo reads from a shortcut file, by their name."""
    result = subprocess.run(["lnkinfo", str(path)], capture_output=True, text=True, timeout=30)
    assert result.returncode == 0, result.stderr
    fields = {}
    for line in result.stdout.splitlines():
        name, colon, value = line.partition(":")
        if colon and name.strip() and name.strip() not in fields:
            fields[name.strip()] = value.strip()
    return fields


def stand_in_record(prefix, name):
    """The argument lines of each run of a payload stand-in, one list per run."""
    log = prefix.appdata / "CorvaneTest" / f"{name}.log"
    if not log.exists():
        return []
    runs = []
    for line in log.read_text(encoding="utf-8").splitlines():
        key, _, value = line.partition("=")
        if key == "cmdline":
            runs.append([])
        elif key.startswith("arg") and runs:
            runs[-1].append(value)
    return runs


def assert_one_set_of_shortcuts(prefix):
    root = windows(prefix.appdata / "Corvane" / "Pelora" / "App", prefix)
    for source, folder in shortcut_folders(prefix).items():
        assert sorted(p.name for p in folder.glob("*.lnk") if "映彩直播" in p.name) == (
            sorted([LAUNCH, UNINSTALL]) if source == "desktop_start" else [LAUNCH]), source
        fields = lnkinfo(folder / LAUNCH)
        assert fields.get("Command line arguments") == f"/startsrc:{source}", fields
        assert fields.get("Working directory") == root, fields
        assert fields.get("Local path", "").endswith("\\PL.exe"), fields
    uninstall = lnkinfo(shortcut_folders(prefix)["desktop_start"] / UNINSTALL)
    assert uninstall.get("Local path") == root + "\\PeloraUninst.exe", uninstall
    assert uninstall.get("Command line arguments", "") == "", uninstall


@pytest.mark.parametrize("version", ["win10", "win7"])
def test_two_hidden_installs_leave_one_set_of_shortcuts(make_prefix, run_setup, version):
    prefix = make_prefix(version)
    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED
    assert_one_set_of_shortcuts(prefix)
    log = install_log_path(prefix).read_text(encoding="utf-16")
    assert "CreateFileShortcut time = " in log
    assert "not available in this build" not in "".join(
        line for line in log.splitlines() if "Shortcut" in line), log

    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED
    assert_one_set_of_shortcuts(prefix)

    quick_launch = windows(shortcut_folders(prefix)["desktop_launchbar"] / LAUNCH, prefix)
    pins = stand_in_record(prefix, "explorer")
    if version == "win10":
        # Windows 8 and later: the version folder's pin program gets the quoted link, once per install.
        assert pins == [[quick_launch], [quick_launch]]
    else:
        # Windows 7 asks the shell's own "taskbarpin" verb; the pin program is not started.
        assert pins == []
    # Neither the pin nor the unpin requests start the client through the shortcut.
    for run in stand_in_record(prefix, "PL"):
        assert not any(arg.startswith("/startsrc:desktop") for arg in run), run


def test_a_desktop_that_cannot_take_the_shortcut_is_reported(make_prefix, run_setup, tmp_path):
    prefix = make_prefix("win10")
    desktop = user_folder(prefix) / "Desktop"
    for item in desktop.iterdir():
        assert item.is_file(), "the template's desktop holds no folders"
        item.unlink()
    desktop.rmdir()
    # A file where the desktop folder belongs: no shortcut can be written into it.
    desktop.write_bytes(b"the user's file")
    server = ReportServer(tmp_path, "ack")
    try:
        prefix.env["PELORA_REPORT_SERVER"] = server.address
        assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED
        errors = server.installer_error_codes()
    finally:
        server.stop()

    assert 2002 in errors, errors
    assert desktop.read_bytes() == b"the user's file"
    # The other shortcuts are made all the same.
    folders = shortcut_folders(prefix)
    assert (folders["desktop_launchbar"] / LAUNCH).is_file()
    assert (folders["desktop_start"] / LAUNCH).is_file()
    assert (prefix.appdata / "Corvane" / "Pelora" / "App" / VERSION).is_dir()


def test_a_start_menu_group_behind_a_folder_link_is_neither_emptied_nor_written(make_prefix, run_setup):
    prefix = make_prefix("win10")
    programs = shortcut_folders(prefix)["desktop_start"].parent.parent
    elsewhere = prefix.path / "drive_c" / "users" / "Public" / "user-notes"
    (elsewhere / "映彩直播").mkdir(parents=True)
    (elsewhere / "映彩直播" / LAUNCH).write_bytes(b"the user's own file")
    # The company folder of the start menu is a link (Wine shows a Linux symbolic link as a
    # reparse point) to a folder of the user's.
    (programs / "岚拓软件").symlink_to(elsewhere, target_is_directory=True)

    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED

    assert sorted(p.name for p in (elsewhere / "映彩直播").iterdir()) == [LAUNCH]
    assert (elsewhere / "映彩直播" / LAUNCH).read_bytes() == b"the user's own file"
    log = install_log_path(prefix).read_text(encoding="utf-16")
    assert "is a link and is left alone" in log
    # The other shortcuts do not depend on the group.
    assert (shortcut_folders(prefix)["desktop_short"] / LAUNCH).is_file()
