"""A second install over a first: a running client from the old version folder stops a hidden run
with 1 and nothing changed, and is ended on Retry in the fast mode, while a program of the same
name elsewhere is left alone; the old install is removed through its manifest (a user's file
beside it stays, and keeps the old product root, reported as 1005), a missing service is reported
as 1003, the updater's ini names the new version only, and on Windows XP the users' folder moves
into the new version folder."""

import time

import pytest

from e2e_product import (EXIT_ABANDONED, EXIT_FINISHED, HIDDEN_MODE, INTERACTIVE_MODES, MESSAGE_CAPTION,
                         PRODUCT_KEY, VERSION)
from e2e_registry import reg_values
from e2e_report import ReportServer

CLIENT_RUNNING_TEXT = ("检测到映彩直播正在运行，安装无法继续。请单击「重试」强制关闭映彩直播以继续安装 "
                       "或者单击「取消」退出安装。")
IDCANCEL = 2
IDRETRY = 4
OLD_VERSION = "1.13.0"


def windows(path, prefix):
    return "C:\\" + str(path.relative_to(prefix.path / "drive_c")).replace("/", "\\")


def product_root(prefix):
    return prefix.appdata / "Corvane" / "Pelora" / "App"


def tree(folder):
    """Every entry below `folder`; files with their size and modification time. (The folder check
    that runs first probes the version folder with a file of its own, which touches the folder's
    time.)"""
    return {str(p.relative_to(folder)): (p.stat().st_size, p.stat().st_mtime_ns) if p.is_file() else "folder"
            for p in folder.rglob("*")}


def start_client(prefix, exe):
    """The client stand-in running from `exe` (a copy of the installed one when it lies elsewhere)."""
    installed = product_root(prefix) / VERSION / "Bin" / "Pelora.exe"
    if exe != installed:
        exe.parent.mkdir(parents=True, exist_ok=True)
        exe.write_bytes(installed.read_bytes())
    process = prefix.popen(windows(exe, prefix))
    time.sleep(3)
    assert process.poll() is None, f"{exe} did not keep running"
    return process


@pytest.fixture
def installed(run_setup):
    """install(prefix): a first hidden install in the prefix."""
    def install(prefix):
        assert run_setup(prefix, *HIDDEN_MODE, timeout=240) == EXIT_FINISHED
        return product_root(prefix) / VERSION
    return install


@pytest.fixture
def clients():
    started = []
    yield started
    for process in started:
        process.kill()


def test_hidden_run_with_the_client_running_ends_with_1_and_changes_nothing(prefix, installed, run_setup, clients):
    version_folder = installed(prefix)
    clients.append(start_client(prefix, version_folder / "Bin" / "Pelora.exe"))
    before = tree(product_root(prefix))
    key_before = reg_values(prefix, PRODUCT_KEY)

    assert run_setup(prefix, *HIDDEN_MODE, timeout=120) == EXIT_ABANDONED
    assert clients[0].poll() is None, "the hidden run ends no process"
    assert tree(product_root(prefix)) == before
    assert reg_values(prefix, PRODUCT_KEY) == key_before


def test_fast_mode_asks_and_retry_ends_only_the_client(prefix, installed, start_setup, window_list, clients):
    version_folder = installed(prefix)
    client = start_client(prefix, version_folder / "Bin" / "Pelora.exe")
    stranger = start_client(prefix, prefix.path / "drive_c" / "Other" / "Pelora.exe")
    clients.extend([client, stranger])
    (version_folder / "Bin" / "only-in-the-first.dll").write_bytes(b"old")

    setup = start_setup(prefix, *INTERACTIVE_MODES["fast"])
    boxes = window_list(prefix)
    found = boxes.find(caption=MESSAGE_CAPTION, text=CLIENT_RUNNING_TEXT, pid=setup.pid, wait_ms=90000)
    assert len(found) == 1, f"no Retry/Cancel box; the setup's windows: {boxes.find(pid=setup.pid)}"
    assert sorted(button["id"] for button in found[0]["buttons"]) == [IDCANCEL, IDRETRY]
    assert boxes.find(caption=MESSAGE_CAPTION, text=CLIENT_RUNNING_TEXT, pid=setup.pid, press=IDRETRY)

    client.wait(timeout=30)
    assert setup.wait(timeout=240) == EXIT_FINISHED, "the install goes on after Retry"
    assert stranger.poll() is None, "a Pelora.exe from another folder is somebody else's"
    assert not (version_folder / "Bin" / "only-in-the-first.dll").exists()
    assert (version_folder / "Bin" / "Pelora.exe").exists()


def test_fast_mode_cancel_keeps_the_client_and_the_page(prefix, installed, start_setup, window_list, clients):
    version_folder = installed(prefix)
    clients.append(start_client(prefix, version_folder / "Bin" / "Pelora.exe"))
    before = tree(product_root(prefix))
    setup = start_setup(prefix, *INTERACTIVE_MODES["fast"])
    boxes = window_list(prefix)
    assert boxes.find(caption=MESSAGE_CAPTION, text=CLIENT_RUNNING_TEXT, pid=setup.pid, wait_ms=90000,
                      press=IDCANCEL)
    time.sleep(5)
    assert setup.running(), "Cancel keeps the setup window for another try"
    assert clients[0].poll() is None
    assert tree(product_root(prefix)) == before


def test_second_hidden_install_removes_the_first_and_reports_what_is_left(make_prefix, installed, run_setup,
                                                                           tmp_path):
    prefix = make_prefix("win10")
    version_folder = installed(prefix)
    root = product_root(prefix)
    # The first install becomes an older version, so that the new one lands in a folder of its own.
    old_folder = root / OLD_VERSION
    version_folder.rename(old_folder)
    prefix.reg_add(PRODUCT_KEY, "Install", windows(old_folder, prefix))
    prefix.reg_add(PRODUCT_KEY, "Version", OLD_VERSION)
    (old_folder / "Bin" / "only-in-the-first.dll").write_bytes(b"old")
    (root / "my-notes.txt").write_text("mine")
    older = root / "1.12.0"
    (older / "Bin").mkdir(parents=True)
    (older / "Bin" / "Pelora.exe").write_bytes(b"older")
    update = prefix.appdata / "Corvane" / "Pelora" / "AuUpdate"
    update.mkdir(parents=True, exist_ok=True)
    (update / "AuQuietUpdate.ini").write_text(
        f"[Current]\r\nstrVoctoPath={windows(older, prefix)}\r\n[History]\r\nnCount=1\r\n"
        f"strVoctoPath1={windows(older, prefix)}\r\n")
    # Whatever registered the service, the removal must find it missing.
    prefix.run("sc", "delete", "PeloraService")

    server = ReportServer(tmp_path)
    try:
        prefix.env["PELORA_REPORT_SERVER"] = server.address
        assert run_setup(prefix, *HIDDEN_MODE, timeout=240) == EXIT_FINISHED
    finally:
        server.stop()

    assert not old_folder.exists(), "the first install was removed with everything in it"
    assert (version_folder / "Bin" / "Pelora.exe").exists(), "the new version is in place"
    assert not (version_folder / "Bin" / "only-in-the-first.dll").exists()
    assert (root / "my-notes.txt").read_text() == "mine"
    assert not older.exists(), "the updater's older version folder is gone"
    ini = (update / "AuQuietUpdate.ini").read_bytes().decode("utf-16" if (update / "AuQuietUpdate.ini")
                                                             .read_bytes()[:2] == b"\xff\xfe" else "latin-1")
    assert "[History]" not in ini
    assert f"strVoctoPath={windows(version_folder, prefix)}" in ini

    codes = server.installer_error_codes()
    assert 1003 in codes, f"the missing service is reported; codes seen: {codes}"
    assert 1005 in codes, f"the product root kept by the user's file is reported; codes seen: {codes}"
    assert not {1001, 1002, 1004} & set(codes), f"the other removal steps succeeded; codes seen: {codes}"


def test_on_windows_xp_the_users_folder_moves_into_the_new_version(make_prefix, installed, run_setup):
    prefix = make_prefix("winxp")
    first = installed(prefix)
    old_folder = product_root(prefix) / OLD_VERSION
    first.rename(old_folder)
    history = old_folder / "Users" / "1001" / "history.db"
    history.parent.mkdir(parents=True)
    history.write_bytes(b"chat history")
    prefix.reg_add(PRODUCT_KEY, "Install", windows(old_folder, prefix))
    prefix.reg_add(PRODUCT_KEY, "Version", OLD_VERSION)

    assert run_setup(prefix, *HIDDEN_MODE, timeout=240) == EXIT_FINISHED
    moved = product_root(prefix) / VERSION / "Users" / "1001" / "history.db"
    assert moved.read_bytes() == b"chat history"
    assert not (old_folder / "Users").exists()
    assert not (old_folder / "Bin").exists(), "the old version was removed"
