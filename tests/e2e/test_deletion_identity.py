"""The setup deletes only what is its own, however a path is spelt and whatever lies on the way to
it. It runs elevated for administrators, while the updater's list of old versions, the product
key and the folders below %APPDATA% can be changed by any program of the user: such a program can
name the freshly installed version folder in another spelling, point the removal of an "old
install" through a folder link at the user's files, name another vendor's folder as the earlier
install, or swap a folder for a link while the setup is about to empty it. After each, the user's
files are there byte for byte, the new install is whole, and the install log names what was
refused.

Links are Linux symbolic links to folders inside drive_c: Wine shows them to the setup as reparse
points, as Windows shows junctions."""

import os
import re
import shutil
import time

import pytest

from e2e_fixtures import _built
from e2e_product import (EXIT_FINISHED, HIDDEN_MODE, MANIFEST_NAME, PRODUCT_KEY, PUBLIC_FILES, file_list,
                         install_log_messages, product_root, version_folder, windows_path_in)

OLD_VERSION = "1.14.200"
OLD_UNINSTALLER = "VoctoUninst.exe"


# --- files --------------------------------------------------------------------------------------

def snapshot(folder):
    """Everything below `folder`, links not followed: a file's bytes, "folder", or a link's target."""
    picture = {}
    for base, folders, names in os.walk(folder):
        for name in folders + names:
            path = os.path.join(base, name)
            relative = os.path.relpath(path, folder)
            if os.path.islink(path):
                picture[relative] = ("link", os.readlink(path))
            elif os.path.isdir(path):
                picture[relative] = "folder"
            else:
                with open(path, "rb") as data:
                    picture[relative] = data.read()
    return picture


def put_user_files(folder, tag):
    """A few files of the user's below `folder`, each with bytes of its own."""
    for relative in ("notes.txt", "photos/holiday.jpg", "work/2024/plan.xlsx"):
        path = folder / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(f"{tag}/{relative}: the user's own bytes\r\n".encode() + bytes(range(256)))


def put_old_version(folder, model):
    """`folder` made to look like an earlier version of the product: the manifest of a real
    install (`model`, a version folder) and a few programs in Bin."""
    (folder / "Bin").mkdir(parents=True)
    shutil.copyfile(model / MANIFEST_NAME, folder / MANIFEST_NAME)
    for name in ("Pelora.exe", "PL.exe", "tinyxml.dll"):
        (folder / "Bin" / name).write_bytes(f"old {name} in {folder.name}".encode())


def put_files_named_like_the_public_ones(folder):
    folder.mkdir(parents=True, exist_ok=True)
    for name in PUBLIC_FILES + (OLD_UNINSTALLER,):
        text = f"{folder.name}\\{name}, not the product's\r\n"
        (folder / name).write_bytes(text.encode() + bytes(range(256))[::-1])


def link(path, target):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.symlink_to(target, target_is_directory=True)


def windows(prefix, path):
    return windows_path_in(prefix, path)


def short_name(prefix, path):
    """The 8.3 name Wine gives the last component of `path` (a path below drive_c), from `dir /x`
    of its parent; None when it has none."""
    out = prefix.run("cmd", "/c", "dir", "/x", windows(prefix, path.parent)).stdout.decode(errors="replace")
    for line in out.splitlines():
        match = re.search(r"\s(\S*~\S*)\s+" + re.escape(path.name) + r"\s*$", line)
        if match:
            return match.group(1)
    return None


def write_history(prefix, *folders):
    """The updater's AuQuietUpdate.ini (ANSI, as the updater writes it) naming the installed
    version as current and `folders` as its history of old versions."""
    update = prefix.appdata / "Corvane" / "Pelora" / "AuUpdate"
    update.mkdir(parents=True, exist_ok=True)
    lines = ["[Current]", f"strVoctoPath={windows(prefix, version_folder(prefix))}", "[History]",
             f"nCount={len(folders)}"]
    lines += [f"strVoctoPath{n}={folder}" for n, folder in enumerate(folders, 1)]
    (update / "AuQuietUpdate.ini").write_bytes(("\r\n".join(lines) + "\r\n").encode("cp1252"))


def name_as_earlier_install(prefix, folder):
    prefix.reg_add(PRODUCT_KEY, "Install", folder)
    prefix.reg_add(PRODUCT_KEY, "Version", OLD_VERSION)


def messages_since(prefix, count):
    return install_log_messages(prefix)[count:]


# The setup's lines for a path it refused because of a link on its way, and for a link it met inside
# a folder of its own and could not remove as a link (Wine cannot remove a symbolic link as a folder).
LINK_REFUSED = "[setup]路径上有链接，拒绝："
LINK_KEPT = "[setup]删除失败 "


def assert_refusal_logged(messages, path):
    """A refusal line of the run names `path`: a path that merely appears in some other line
    (a failed unregistration, a firewall entry) does not count."""
    refusals = [m for m in messages if m.startswith((LINK_REFUSED, LINK_KEPT))]
    assert any(path.lower() in m.lower() for m in refusals), \
        f"no refusal in the install log names {path}; the run's lines: {messages}"


# `installed` is a copy of one standard install that the shared fixtures make once per test
# process; `prefix` is one before any install.


# --- the updater's list names the installed version in another spelling -----------------------

def _short(prefix, folder):
    short = short_name(prefix, folder)
    assert short and short.lower() != folder.name.lower(), f"Wine gives {folder} no short name of its own"
    return windows(prefix, folder.parent) + "\\" + short


SPELLINGS = {
    "upper-case": lambda prefix, folder: windows(prefix, folder).upper(),
    "trailing-backslash": lambda prefix, folder: windows(prefix, folder) + "\\",
    "dot": lambda prefix, folder: windows(prefix, folder) + "\\.",
    "bin-dotdot": lambda prefix, folder: windows(prefix, folder) + "\\Bin\\..",
    "short-name": _short,
    "product-root": lambda prefix, folder: windows(prefix, folder.parent),
}


@pytest.mark.parametrize("spelling", SPELLINGS)
def test_an_old_version_entry_naming_the_installed_version_removes_nothing_of_it(installed, installed_model,
                                                                                  run_setup, spelling):
    prefix = installed
    _, first_files = installed_model
    folder = version_folder(prefix)
    entry = SPELLINGS[spelling](prefix, folder)
    write_history(prefix, entry)

    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED
    assert folder.is_dir(), f"the version folder is gone after the history named it as {entry}"
    files = file_list(folder)
    missing = sorted(set(first_files) - set(files))
    assert not missing, f"{len(missing)} of {len(first_files)} files of the version missing, e.g. {missing[:5]}"
    root = product_root(prefix)
    absent = [name for name in PUBLIC_FILES if not (root / name).is_file()]
    assert not absent, f"public files missing from the product root: {absent}"


# --- a folder link on the way to what a reinstall would delete -------------------------------
# Each case puts a link at one level and names a folder at or below it where a reinstall deletes:
# the product key (the earlier install, taken apart through its manifest) or the updater's history.

def _link_above_the_root(prefix):
    drive = prefix.path / "drive_c"
    users = drive / "UserFiles"
    put_old_version(users / "App" / OLD_VERSION, version_folder(prefix))
    put_user_files(users / "App" / OLD_VERSION, "old-version")
    put_files_named_like_the_public_ones(users / "App")
    put_user_files(users, "top")
    link(drive / "Lnk", users)
    name_as_earlier_install(prefix, f"C:\\Lnk\\App\\{OLD_VERSION}")
    return users, "C:\\Lnk"


def _root_is_a_link(prefix):
    drive = prefix.path / "drive_c"
    users = drive / "UserFiles"
    put_old_version(users / OLD_VERSION, version_folder(prefix))
    put_user_files(users / OLD_VERSION, "old-version")
    put_files_named_like_the_public_ones(users)
    put_user_files(users, "top")
    link(drive / "PR", users)
    name_as_earlier_install(prefix, f"C:\\PR\\{OLD_VERSION}")
    return users, "C:\\PR"


def _version_folder_is_a_link(prefix):
    users = prefix.path / "drive_c" / "UserFiles"
    put_user_files(users, "top")
    old = product_root(prefix) / OLD_VERSION
    link(old, users)
    write_history(prefix, windows(prefix, old))
    name_as_earlier_install(prefix, windows(prefix, old))
    return users, windows(prefix, old)


def _link_inside_the_root(prefix):
    users = prefix.path / "drive_c" / "UserFiles"
    put_user_files(users / "data", "data")
    put_user_files(users, "top")
    jump = product_root(prefix) / "j"
    link(jump, users)
    write_history(prefix, windows(prefix, jump / "data"))
    return users, windows(prefix, jump)


def _link_inside_an_old_version(prefix):
    users = prefix.path / "drive_c" / "UserFiles"
    put_user_files(users, "top")
    old = product_root(prefix) / OLD_VERSION
    put_old_version(old, version_folder(prefix))
    data = old / "data"
    link(data, users)
    write_history(prefix, windows(prefix, data))
    name_as_earlier_install(prefix, windows(prefix, data))
    return users, windows(prefix, data)


LINKED = {
    "above-the-product-root": _link_above_the_root,
    "product-root": _root_is_a_link,
    "version-folder": _version_folder_is_a_link,
    "inside-the-product-root": _link_inside_the_root,
    "inside-an-old-version": _link_inside_an_old_version,
}


@pytest.mark.parametrize("where", LINKED)
def test_a_folder_link_never_leads_a_removal_to_the_users_files(installed, run_setup, where):
    prefix = installed
    users, link_path = LINKED[where](prefix)
    before = snapshot(users)
    logged = len(install_log_messages(prefix))

    code = run_setup(prefix, *HIDDEN_MODE, timeout=180)

    after = snapshot(users)
    changed = sorted(name for name in set(before) | set(after) if before.get(name) != after.get(name))
    assert not changed, f"the user's files behind {link_path} changed (exit code {code}): {changed}"
    assert_refusal_logged(messages_since(prefix, logged), link_path)
    assert code == EXIT_FINISHED, "a refused old folder does not stop the install"


# --- the product key names another program's folder -------------------------------------------

def web_component_calls(prefix):
    """(unregistrations, registered paths) the WebAPI.dll stand-in noted, whichever copy of it
    regsvr32 loaded: it notes each DllUnregisterServer call, and the path of each copy whose
    DllRegisterServer ran."""
    log = prefix.appdata / "CorvaneTest" / "WebAPI.log"
    lines = log.read_text(encoding="utf-8").splitlines() if log.exists() else []
    return ([line for line in lines if line.startswith("unregister=")],
            [line[len("register="):] for line in lines if line.startswith("register=")])


def test_a_product_key_naming_another_programs_folder_leaves_that_program_whole(prefix, run_setup):
    other = prefix.path / "drive_c" / "OtherVendor"
    put_files_named_like_the_public_ones(other)
    # A working COM server of the same name: a regsvr32 /u of it leaves a trace.
    shutil.copyfile(_built("payload/standins/WebAPI.dll", "WebAPI stand-in"), other / "WebAPI.dll")
    put_user_files(other / "1.0", "other-vendor")
    before = snapshot(other)
    prefix.reg_add(PRODUCT_KEY, "Install", "C:\\OtherVendor\\1.0")

    code = run_setup(prefix, *HIDDEN_MODE, timeout=180)

    problems = []
    after = snapshot(other)
    changed = sorted(name for name in set(before) | set(after) if before.get(name) != after.get(name))
    if changed:
        problems.append(f"C:\\OtherVendor changed: {changed}")
    unregistered, registered = web_component_calls(prefix)
    if unregistered:
        problems.append(f"C:\\OtherVendor\\WebAPI.dll was unregistered ({unregistered})")
    if any("othervendor" in path.lower() for path in registered):
        problems.append(f"C:\\OtherVendor\\WebAPI.dll was registered ({registered})")
    if code != EXIT_FINISHED:
        problems.append(f"exit code {code}")
    if not (version_folder(prefix) / "Bin" / "Pelora.exe").is_file():
        problems.append("no client in the default version folder")
    assert not problems, "; ".join(problems)


# --- a folder swapped for a link while its deletion waits -------------------------------------

def test_a_folder_swapped_for_a_link_during_its_deletion_keeps_the_users_files(installed, start_setup,
                                                                                seam_setup_exe):
    prefix = installed
    drive = prefix.path / "drive_c"
    users = drive / "UserFiles"
    put_user_files(users, "top")
    before = snapshot(users)
    old = product_root(prefix) / OLD_VERSION
    put_old_version(old, version_folder(prefix))
    write_history(prefix, windows(prefix, old))
    flags = drive / "seam"
    flags.mkdir()
    paused, resume = flags / "paused", flags / "resume"
    prefix.env["PELORA_TEST_DELETE_PAUSE_AT"] = OLD_VERSION
    prefix.env["PELORA_TEST_DELETE_PAUSED"] = windows(prefix, paused)
    prefix.env["PELORA_TEST_DELETE_RESUME"] = windows(prefix, resume)

    setup = start_setup(prefix, *HIDDEN_MODE, exe=seam_setup_exe)
    deadline = time.monotonic() + 150
    while not paused.exists():
        assert setup.running(), (f"the setup ended with {setup.wait()} without pausing before it deleted "
                                 f"{windows(prefix, old)}")
        assert time.monotonic() < deadline, f"the deletion of {windows(prefix, old)} never paused"
        time.sleep(0.1)
    old.rename(old.with_name(OLD_VERSION + ".moved"))
    link(old, users)
    resume.touch()

    assert setup.wait(timeout=180) == EXIT_FINISHED
    assert snapshot(users) == before, "the user's files behind the swapped-in link changed"
