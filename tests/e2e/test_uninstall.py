"""The installed uninstaller, run silently as a calling program runs it: it takes back everything
the hidden install did, keeps the user's data unless told otherwise, and refuses (changing
nothing) when the client runs or when the product key or the manifest point outside the install.
The window is tested in test_uninstall_window.py."""

import time

import pytest

from e2e_product import (HIDDEN_MODE, MANIFEST_NAME, install_log_messages, product_root, version_folder,
                         windows_path_in)
from e2e_report import ReportServer
from e2e_uninstall import (add_user_data, assert_no_differences, installed_uninstaller, picture, run_uninstaller,
                           user_data_folder)
from e2e_wine import FileHolder

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


def install(prefix, run_setup):
    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == 0
    assert (product_root(prefix) / "PeloraUninst.exe").is_file()


def uninstall_events(server):
    events = []
    for report in server.reports():
        for item in report["list_reportItem"]:
            values = {value["name"]: value for value in item["list_reportValue"]}
            if values["action"]["string_value"] == "uninstaller_done":
                events.append(values)
    return events


@pytest.mark.parametrize("version", ["win10", "win7"])
def test_a_silent_uninstall_leaves_only_the_logs_and_the_users_data(make_prefix, run_setup, tools, tmp_path,
                                                                      version):
    prefix = make_prefix(version)
    server = ReportServer(tmp_path)
    prefix.env["PELORA_REPORT_SERVER"] = server.address
    before = picture(prefix)
    install(prefix, run_setup)
    data = add_user_data(prefix)

    assert run_uninstaller(prefix, tools, "/mode:noui") == 0

    after = picture(prefix)
    assert_no_differences(before, after, RUN_RECORDS + USER_DATA)
    for path, content in data.items():
        assert path.read_bytes() == content, f"{path} changed"
    assert not (version_folder(prefix) / MANIFEST_NAME).exists(), "in the default root the data needs no manifest"
    messages = install_log_messages(prefix)
    assert any(m.startswith("[uninstall]done, result 0") for m in messages), messages[-10:]
    events = uninstall_events(server)
    server.stop()
    assert [(e["res5"]["uint_value"], e["res6"]["uint_value"]) for e in events] == [(0, 0)]


def test_with_removedata_the_users_data_goes_too(prefix, run_setup, tools):
    before = picture(prefix)
    install(prefix, run_setup)
    add_user_data(prefix)
    assert run_uninstaller(prefix, tools, "/mode:noui", "/removedata") == 0
    assert_no_differences(before, picture(prefix), RUN_RECORDS)


def test_with_the_client_running_a_silent_uninstall_changes_nothing(prefix, run_setup, tools):
    install(prefix, run_setup)
    # Taken first: a picture of the registry stops the prefix's programs.
    installed = picture(prefix)
    # Started by its C: path, as the launcher starts it (a Z: path would be another file to Windows).
    client = prefix.popen(windows_path_in(prefix, version_folder(prefix) / "Bin" / "Pelora.exe"))
    try:
        wait_for_client(prefix)
        assert run_uninstaller(prefix, tools, "/mode:noui") == 1
        assert client.poll() is None, "the client was not ended"
    finally:
        client.kill()
    assert "[uninstall]the client is running" in [m.rstrip() for m in install_log_messages(prefix)]
    assert_no_differences(installed, picture(prefix), RUN_RECORDS)


def test_a_locked_file_is_moved_aside_and_deleted_at_the_next_start(prefix, run_setup, tools):
    before = picture(prefix)
    install(prefix, run_setup)
    held = version_folder(prefix) / "Bin" / "PeloraCore.dll"
    windows_held = windows_path_in(prefix, held)
    with FileHolder(prefix, tools, windows_held, share="none"):
        assert run_uninstaller(prefix, tools, "/mode:noui") == 0
        pending = pending_deletions(prefix)
        messages = [m.rstrip() for m in install_log_messages(prefix)]
    assert held.exists(), "held without sharing, it could not even be renamed"
    assert "\\??\\" + windows_held in pending, pending
    assert f"[uninstall]in use, deleted at the next start: {windows_held}" in messages
    assert not (product_root(prefix) / "PL.exe").exists()

    # The next start: Wine carries out the pending deletions when the prefix boots again.
    prefix.run("wineboot", "-r", timeout=120)
    assert_no_differences(before, picture(prefix), RUN_RECORDS + (r"^close-",))


@pytest.mark.parametrize("how", ["manifest names C:\\windows", "product key names C:\\windows"])
def test_an_install_pointing_outside_is_refused_and_nothing_changes(prefix, run_setup, tools, how):
    install(prefix, run_setup)
    if how.startswith("manifest"):
        manifest = version_folder(prefix) / MANIFEST_NAME
        text = manifest.read_bytes()
        close = text.rindex(b"</folder>")
        hostile = b'<folder name="..\\..\\..\\..\\..\\..\\..\\windows" size="1"><file name="win.ini" size="1" />' \
                  b'</folder>\r\n'
        manifest.write_bytes(text[:close] + hostile + text[close:])
        expected = "安装清单指向安装文件夹以外的位置"
    else:
        prefix.reg_add(r"HKCU\SOFTWARE\Corvane\Pelora", "Install", "C:\\windows")
        expected = "注册表记录的安装文件夹不是映彩直播的文件夹"
    installed = picture(prefix)

    assert run_uninstaller(prefix, tools, "/mode:noui") == 1

    assert_no_differences(installed, picture(prefix), RUN_RECORDS)
    refusals = [m for m in install_log_messages(prefix) if m.startswith("[uninstall]refused: ")]
    assert len(refusals) == 1 and expected in refusals[0], refusals
    assert (prefix.path / "drive_c" / "windows" / "win.ini").exists()
