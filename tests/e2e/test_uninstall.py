"""The installed uninstaller, run silently as a calling program runs it: it takes back everything
the hidden install did, keeps the user's data unless told otherwise, and refuses (changing
nothing) when the client runs or when the product key or the manifest point outside the install.
The window is tested in test_uninstall_window.py."""

import re
import time

import pytest

from e2e_fixtures import BUILD_DIR
from e2e_product import (EXIT_NOT_STARTED, HIDDEN_MODE, MANIFEST_NAME, install_log_messages, product_root,
                         version_folder, windows_path_in)
from e2e_uninstall import (UNINSTALLER, add_user_data, assert_no_differences, next_start, picture,
                           retired_uninstallers, run_uninstaller)
from e2e_wine import FileHolder, windows_path

# Always allowed to differ: the logs the runs write, the stand-ins' own records of being run
# (the test payload's programs note their starts in %APPDATA%\CorvaneTest and HKCU\...\CorvaneTest)
# and the folder the calling program runs in.
RUN_RECORDS = (r"Corvane/Logs(/|$)", r"^users/[^/]+/AppData/Roaming/Corvane/$", r"CorvaneTest", r"^caller/$")
USER_DATA = (r"Corvane/Pelora/$", r"Corvane/Pelora/App/$", r"App/1\.14\.301/$", r"App/1\.14\.301/Users")


def pending_deletions(prefix):
    """The paths of PendingFileRenameOperations (source and target alternate; an empty target
    means a deletion), decoded from the exported REG_MULTI_SZ, which spans several lines."""
    exported = prefix.reg_export(r"HKLM\System\CurrentControlSet\Control\Session Manager") or ""
    start = exported.find('"PendingFileRenameOperations"=hex(7):')
    if start < 0:
        return []
    text = exported[start:].split("=hex(7):", 1)[1]
    hex_text = ""
    for line in text.splitlines():
        hex_text += line.strip().rstrip("\\")
        if not line.rstrip().endswith("\\"):
            break
    raw = bytes(int(part, 16) for part in hex_text.split(",") if part.strip())
    return raw.decode("utf-16-le").split("\0")


def wait_for_client(prefix, timeout=30):
    """The stand-in client notes its start in %APPDATA%\\CorvaneTest\\Pelora.log."""
    record = prefix.appdata / "CorvaneTest" / "Pelora.log"
    deadline = time.monotonic() + timeout
    while not record.exists():
        assert time.monotonic() < deadline, "the client did not start"
        time.sleep(0.1)


@pytest.fixture
def prefix_reporting(make_prefix, report_server):
    """make a prefix whose programs report to the test's own server."""
    def make(version="win7"):
        prefix = make_prefix(version)
        prefix.env["PELORA_REPORT_SERVER"] = report_server.address
        return prefix
    return make


def install(prefix, run_setup):
    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == 0
    assert (product_root(prefix) / "PeloraUninst.exe").is_file()


def uninstall_events(reports):
    """The uninstaller_done events among `reports`."""
    events = []
    for report in reports:
        for item in report["list_reportItem"]:
            values = {value["name"]: value for value in item["list_reportValue"]}
            if values["action"]["string_value"] == "uninstaller_done":
                events.append(values)
    return events


@pytest.mark.parametrize("version", ["win10", "win7"])
def test_a_silent_uninstall_leaves_only_the_logs_and_the_users_data(prefix_reporting, run_setup, tools,
                                                                      report_server, version):
    prefix = prefix_reporting(version)
    before = picture(prefix)
    install(prefix, run_setup)
    data = add_user_data(prefix)
    reports_before = len(report_server.reports())

    assert run_uninstaller(prefix, tools, "/mode:noui") == 0

    # The running uninstaller's own file has left its name and waits for the next start.
    assert not (product_root(prefix) / UNINSTALLER).exists()
    retired = retired_uninstallers(prefix)
    assert len(retired) == 1 and re.fullmatch(UNINSTALLER + r"~[0-9a-f]{16}", retired[0]), retired
    assert any(path.endswith("\\" + retired[0]) for path in pending_deletions(prefix)), pending_deletions(prefix)
    next_start(prefix)
    assert_no_differences(before, picture(prefix), RUN_RECORDS + USER_DATA)
    for path, content in data.items():
        assert path.read_bytes() == content, f"{path} changed"
    assert not (version_folder(prefix) / MANIFEST_NAME).exists(), "in the default root the data needs no manifest"
    messages = install_log_messages(prefix)
    assert any(m.startswith("[uninstall]done, result 0") for m in messages), messages[-10:]
    events = uninstall_events(report_server.reports()[reports_before:])
    assert [(e["res5"]["uint_value"], e["res6"]["uint_value"]) for e in events] == [(0, 0)]


def test_with_the_client_running_nothing_changes_and_once_it_ended_removedata_takes_everything(
        prefix_reporting, run_setup, tools, report_server):
    prefix = prefix_reporting("win10")
    before = picture(prefix)
    install(prefix, run_setup)
    add_user_data(prefix)
    # Taken before the client starts: a picture of the registry stops the prefix's programs.
    installed = picture(prefix)
    # Started by its C: path, as the launcher starts it (a Z: path would be another file to Windows).
    client = prefix.popen(windows_path_in(prefix, version_folder(prefix) / "Bin" / "Pelora.exe"))
    try:
        wait_for_client(prefix)
        assert run_uninstaller(prefix, tools, "/mode:noui", "/removedata") == 1
        assert client.poll() is None, "a silent uninstall ends no client"
    finally:
        client.kill()
    assert "[uninstall]the client is running" in [m.rstrip() for m in install_log_messages(prefix)]
    assert_no_differences(installed, picture(prefix), RUN_RECORDS)

    reports_before = len(report_server.reports())
    assert run_uninstaller(prefix, tools, "/mode:noui", "/removedata") == 0
    next_start(prefix)
    assert_no_differences(before, picture(prefix), RUN_RECORDS)
    events = uninstall_events(report_server.reports()[reports_before:])
    assert [(e["res5"]["uint_value"], e["res6"]["uint_value"]) for e in events] == [(0, 1)]


def test_a_file_held_without_sharing_keeps_the_product_registered_until_a_second_run(prefix, run_setup, tools):
    before = picture(prefix)
    install(prefix, run_setup)
    held = version_folder(prefix) / "Bin" / "PeloraCore.dll"
    windows_held = windows_path_in(prefix, held)
    with FileHolder(prefix, tools, windows_held, share="none"):
        # Held without sharing, it can be neither deleted nor renamed, and its name must not go to
        # the next start: a new install could have written it by then.
        assert run_uninstaller(prefix, tools, "/mode:noui") == 1
        pending = pending_deletions(prefix)
        messages = [m.rstrip() for m in install_log_messages(prefix)]
    assert held.exists()
    assert not any("PeloraCore" in path for path in pending), pending
    assert any(m.startswith("[uninstall]could not remove") and windows_held in m for m in messages), messages[-12:]
    assert prefix.reg_query(r"HKCU\SOFTWARE\Corvane\Pelora", "Install") is not None, "registered for a second run"
    assert (version_folder(prefix) / MANIFEST_NAME).exists()
    assert not (product_root(prefix) / "PL.exe").exists()

    assert run_uninstaller(prefix, tools, "/mode:noui") == 0
    assert not held.exists()
    next_start(prefix)
    assert_no_differences(before, picture(prefix), RUN_RECORDS + (r"^close-",))


def test_an_install_pointing_outside_is_refused_and_nothing_changes(prefix, run_setup, tools):
    install(prefix, run_setup)
    (prefix.path / "drive_c" / "windows" / "victim.ini").write_text("[keep]\n")
    manifest = version_folder(prefix) / MANIFEST_NAME
    original = manifest.read_bytes()
    close = original.rindex(b"</folder>")
    hostile = b'<folder name="..\\..\\..\\..\\..\\..\\..\\windows" size="1"><file name="victim.ini" size="1" />' \
              b'</folder>\r\n'
    cases = [
        ("the manifest names C:\\windows", lambda: manifest.write_bytes(original[:close] + hostile + original[close:]),
         "安装清单指向安装文件夹以外的位置"),
        ("the product key names C:\\windows",
         lambda: (manifest.write_bytes(original),
                  prefix.reg_add(r"HKCU\SOFTWARE\Corvane\Pelora", "Install", "C:\\windows")),
         "注册表记录的安装文件夹不是映彩直播的文件夹"),
    ]
    for how, alter, expected in cases:
        alter()
        altered = picture(prefix)
        assert run_uninstaller(prefix, tools, "/mode:noui") == 1, how
        assert_no_differences(altered, picture(prefix), RUN_RECORDS)
        refusals = [m for m in install_log_messages(prefix) if m.startswith("[uninstall]refused: ")]
        assert expected in refusals[-1], (how, refusals)
    assert (prefix.path / "drive_c" / "windows" / "victim.ini").read_text() == "[keep]\n"


def test_without_an_install_it_says_so_and_a_second_one_does_not_start(prefix_reporting, tools, hold_mutex):
    prefix = prefix_reporting("win7")
    built = windows_path(BUILD_DIR / "payload" / "standins" / "PeloraUninst.exe")
    nothing = picture(prefix)
    holder = hold_mutex(prefix, "Global\\PeloraUninstaller")
    assert run_uninstaller(prefix, tools, "/mode:noui", program=built) == EXIT_NOT_STARTED
    holder.release()
    assert run_uninstaller(prefix, tools, "/mode:noui", program=built) == 1
    messages = [m.rstrip() for m in install_log_messages(prefix)]
    assert "[uninstall]another uninstaller is running" in messages
    assert "[uninstall]refused: 映彩直播没有安装在这台电脑上。" in messages
    assert_no_differences(nothing, picture(prefix), RUN_RECORDS + (r"^release-",))
