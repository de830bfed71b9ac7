"""The uninstaller takes back the whole install however its folder was spelt, and never more than
the install: an install made through an 8.3 name, in other letter case or with forward slashes,
and one in a folder with a blank started through its uninstall entry's quiet command as Windows
starts it, leave nothing behind; a read-only or held product file ends either in a complete
removal after the next start or in a refusal that keeps the product registered and a second run
that completes; a version folder swapped for a link while the uninstaller unregisters, or a folder
on the next-start list swapped for a link before that start, leaves the user's files behind the
link byte for byte; a setup started right after the uninstaller ended (with a file held during the
uninstall or without) is whole 30 s later and after the next start, whatever the uninstaller left
running or pending; a helper DLL that another program replaced stays.

Links are Linux symbolic links to folders inside drive_c: Wine shows them to the programs as
reparse points, as Windows shows junctions. Every test works on a copy of a stopped prefix made
once (one before any install per module, one after a default hidden install per test process)."""

import datetime
import re
import shutil
import subprocess
import time

import pytest

from e2e_fixtures import BUILD_DIR, started_copy
from e2e_product import (EXIT_FINISHED, HIDDEN_MODE, MANIFEST_NAME, PRODUCT_KEY, PUBLIC_FILES, VERSION, file_list,
                         product_root, version_folder)
from e2e_registry import reg_values
from e2e_uninstall import UNINSTALLER, differences, installed_uninstaller, picture, run_uninstaller
from e2e_wine import TEST_ARCH, FileHolder, SetupProcess, WinePrefix, signed32
from test_deletion_identity import link, put_user_files, short_name, snapshot, windows
from test_hidden_install_system_files import recorded_system_files
from test_uninstall import RUN_RECORDS, pending_deletions

EXIT_FAILED = 1
MACHINE_PRODUCT_KEY = r"HKLM\SOFTWARE\Corvane\Pelora"
ENTRY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\映彩直播"
USER_ENTRY = "HKCU\\" + ENTRY
MACHINE_ENTRY = "HKLM\\" + ENTRY
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
# Each key alone means "still there"; the Run key only by its value "Pelora".
PRODUCT_PLACES = (PRODUCT_KEY, MACHINE_PRODUCT_KEY, USER_ENTRY, MACHINE_ENTRY, r"HKCR\Pelora",
                  r"HKCU\Software\Classes\Pelora", r"HKLM\SYSTEM\CurrentControlSet\Services\PeloraService")
HELPER_DLL = "MivoVistaHelper.dll"
# What the holder's release flag and the calling program's folder leave in C:\.
HARNESS = RUN_RECORDS + (r"^close-", r"^caller/")
# Names under which a file in use may be moved aside before its deletion at the next start.
SIDE_NAME = re.compile(r"(~[0-9a-f]+|\.rename)$", re.IGNORECASE)


# --- prefixes -----------------------------------------------------------------------------------

@pytest.fixture(scope="module")
def blank_model(tmp_path_factory, display):
    """A stopped win7 prefix before any install, and its picture: what "nothing left" compares
    with."""
    prefix = WinePrefix.create(tmp_path_factory.mktemp("blank") / "prefix", "win7")
    try:
        before = picture(prefix)
    finally:
        prefix.stop_server()
    yield prefix.path, before
    shutil.rmtree(prefix.path, ignore_errors=True)


@pytest.fixture
def blank(blank_model, tmp_path):
    with started_copy(blank_model[0], tmp_path / "prefix") as prefix:
        yield prefix


# --- running and reading ----------------------------------------------------------------------

def install(prefix, setup_exe, tools, *options):
    setup = SetupProcess(prefix, tools, setup_exe, HIDDEN_MODE + options)
    try:
        assert setup.wait(timeout=180) == EXIT_FINISHED, f"the install {' '.join(options)}"
    finally:
        setup.kill()


def entry_values(prefix):
    return reg_values(prefix, USER_ENTRY)


def program_of(command):
    """The program a command line starts: the quoted part, else the text up to the first blank
    that is followed by an option."""
    if command.startswith('"'):
        return command[1:].split('"', 1)[0]
    return re.split(r"\s+/", command, 1)[0]


def registered(prefix):
    """Whether the product key and the uninstall entry are both there."""
    return reg_values(prefix, PRODUCT_KEY) is not None and entry_values(prefix) is not None


def what_is_left(prefix, before, allowed=()):
    """Readable lines for every trace of the product: its registry places by name, then every
    file, folder and registry line that differs from the picture before the install."""
    left = [f"{key} is still there" for key in PRODUCT_PLACES if reg_values(prefix, key) is not None]
    if "Pelora" in (reg_values(prefix, RUN_KEY) or {}):
        left.append(f"{RUN_KEY} still has its value Pelora")
    changed = differences(before, picture(prefix), HARNESS + tuple(allowed))
    left += [f"a side name of a file in use is left: {line.split(': ', 1)[1]}" for line in changed
             if line.startswith("file ") and SIDE_NAME.search(line.rstrip("/"))]
    return left + changed


def assert_nothing_left(prefix, before, allowed=(), context=""):
    left = what_is_left(prefix, before, allowed)
    shown = left[:40] + ([f"... and {len(left) - 40} more"] if len(left) > 40 else [])
    assert not left, f"{context}left behind:\n" + "\n".join(shown)


def next_start(prefix):
    """Windows' next start as far as the pending deletions go: Wine carries them out when the
    prefix boots again."""
    prefix.run("wineboot", "-r", timeout=120)


def wait_for_started_programs(prefix, timeout=30):
    """Waits until no command interpreter runs in the prefix: an uninstaller may leave the
    deletion of its own file to one that outlives it by some seconds."""
    deadline = time.monotonic() + timeout
    wanted = f"WINEPREFIX={prefix.path}".encode()
    while True:
        out = subprocess.run(["pgrep", "-f", r"cmd\.exe"], capture_output=True, text=True).stdout.split()
        running = []
        for pid in out:
            try:
                with open(f"/proc/{pid}/environ", "rb") as environ:
                    if wanted in environ.read().split(b"\0"):
                        running.append(pid)
            except OSError:
                pass  # ended meanwhile
        if not running:
            return
        assert time.monotonic() < deadline, "a command interpreter the uninstaller started still runs"
        time.sleep(0.3)


def uninstall(prefix, tools, *options, program=None):
    """The uninstaller's full exit code, once what it started has ended."""
    code = run_uninstaller(prefix, tools, *options, program=program)
    wait_for_started_programs(prefix)
    return code


def pending(prefix):
    """The paths the prefix's next start will delete or rename."""
    return [path for path in pending_deletions(prefix) if path]


def after_the_next_start_if_needed(prefix):
    """Carries out the next start when something waits for it; returns what waited."""
    waiting = pending(prefix)
    if waiting:
        next_start(prefix)
    return waiting


def user_copy_of_the_product(folder, version, tag):
    """`folder` filled with user files named like every file of the version folder `version`
    (each with bytes of the user's own), the version's manifest, and a few other user files: a
    removal that goes by path through a link to it would hit them."""
    for relative in file_list(version):
        path = folder / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(f"{tag}: the user's {relative}, not the product's\r\n".encode() + bytes(range(256)))
    shutil.copyfile(version / MANIFEST_NAME, folder / MANIFEST_NAME)
    put_user_files(folder, tag)


def changed_files(before, after):
    return sorted(name for name in set(before) | set(after) if before.get(name) != after.get(name))


# --- the install folder in other spellings -----------------------------------------------------

def _short_name_root(prefix):
    program_files = prefix.path / "drive_c" / "Program Files"
    short = short_name(prefix, program_files)
    assert short and short.lower() != program_files.name.lower(), "Wine gives C:\\Program Files no 8.3 name"
    return f"C:\\{short}\\PeloraApps", []


def _upper_case_root(prefix):
    # The user's empty C:\Apps\Pelora, named in capitals: being the user's, it may stay (empty).
    (prefix.path / "drive_c" / "Apps" / "Pelora").mkdir(parents=True)
    return "C:\\APPS\\PELORA", [r"^Apps/$", r"^Apps/Pelora/$"]


def _forward_slash_root(prefix):
    # The setup may take the folder or, finding it no valid install folder, fall back to the
    # default one; either install must go completely. C:\Apps is the user's.
    (prefix.path / "drive_c" / "Apps").mkdir()
    return "C:/Apps/Pelora", [r"^Apps/$"]


SPELLINGS = {"8.3-name": _short_name_root, "upper-case": _upper_case_root, "forward-slashes": _forward_slash_root}


@pytest.mark.parametrize("spelling", SPELLINGS)
def test_an_install_folder_given_in_another_spelling_is_removed_completely(blank, blank_model, setup_exe, tools,
                                                                           spelling):
    prefix = blank
    _, before = blank_model
    folder, users_own = SPELLINGS[spelling](prefix)
    install(prefix, setup_exe, tools, f"/install_dir:{folder}")
    installed_as = reg_values(prefix, PRODUCT_KEY)["Install"]
    uninstaller = program_of(entry_values(prefix)["UninstallString"])
    assert uninstaller.lower().endswith("\\" + UNINSTALLER.lower()), uninstaller

    code = uninstall(prefix, tools, "/mode:noui", program=uninstaller)
    waited = after_the_next_start_if_needed(prefix)

    context = (f"/install_dir:{folder} installed into {installed_as}; {uninstaller} /mode:noui "
               f"ended with {code}; left for the next start: {waited}; ")
    assert_nothing_left(prefix, before, users_own, context)
    assert code == EXIT_FINISHED, context


# --- a product file that cannot go at once ------------------------------------------------------

class _ReadOnly:
    """Bin\\PeloraCore.dll made read-only, as a backup or sync program may leave it."""

    def __init__(self, prefix, tools, path):
        prefix.run("attrib", "+r", windows(prefix, path), check=True)
        assert not path.stat().st_mode & 0o222, "attrib +r did not make the file read-only"

    def release(self):
        """Nobody lets go of an attribute: the second run meets the same file."""


class _Held:
    """Bin\\PeloraCore.dll held open by another program that shares reading only (no writing, no
    deletion)."""

    def __init__(self, prefix, tools, path):
        self._holder = FileHolder(prefix, tools, windows(prefix, path), share="r")

    def release(self):
        self._holder.__exit__(None, None, None)


OBSTACLES = {"read-only": _ReadOnly, "held": _Held}


@pytest.mark.parametrize("obstacle", OBSTACLES)
def test_a_file_that_cannot_go_at_once_ends_in_a_complete_removal_or_a_registered_product(
        installed, blank_model, tools, obstacle):
    prefix = installed
    _, before = blank_model
    target = version_folder(prefix) / "Bin" / "PeloraCore.dll"
    blocker = OBSTACLES[obstacle](prefix, tools, target)
    try:
        code = uninstall(prefix, tools, "/mode:noui")
    finally:
        blocker.release()

    if code == EXIT_FINISHED:
        # Complete removal: what had to wait goes at the next start, and then nothing is left.
        waited = after_the_next_start_if_needed(prefix)
        branch = f"exit 0, left for the next start: {waited}"
        print(f"{obstacle}: removed, {branch}")
        assert_nothing_left(prefix, before, context=f"{obstacle}: {branch}; after the next start ")
        return

    # Refusal: exit 1 with the product still registered, and a second run once the file is free.
    assert code == EXIT_FAILED, f"{obstacle}: exit code {code}"
    assert registered(prefix), (f"{obstacle}: the uninstaller ended with 1 but took the product key or the "
                                f"uninstall entry away; nothing could start it again")
    print(f"{obstacle}: refused with 1, the product still registered")
    second = uninstall(prefix, tools, "/mode:noui")
    assert second == EXIT_FINISHED, f"{obstacle}: the first run ended with 1, the second with {second}"
    after_the_next_start_if_needed(prefix)
    assert_nothing_left(prefix, before, context=f"{obstacle}: after a refusal and a second run ")


# --- links swapped in where the removal is headed ---------------------------------------------

def test_a_version_folder_swapped_for_a_link_while_unregistering_keeps_the_users_files(installed, tools):
    prefix = installed
    # The uninstaller's test build waits while it unregisters the web component.
    pausing_uninstaller = BUILD_DIR / "payload" / "PeloraUninstTest.exe"
    if not pausing_uninstaller.is_file():
        pytest.fail(f"the uninstaller's test build is missing: no {pausing_uninstaller}")
    drive = prefix.path / "drive_c"
    folder = version_folder(prefix)
    users = drive / "UserFiles"
    user_copy_of_the_product(users, folder, "swapped")
    before = snapshot(users)
    flags = drive / "seam"
    flags.mkdir()
    paused, resume = flags / "paused", flags / "resume"
    prefix.env["PELORA_TEST_UNREGISTER_PAUSED"] = windows(prefix, paused)
    prefix.env["PELORA_TEST_UNREGISTER_RESUME"] = windows(prefix, resume)
    # Started from a folder of the caller's: it finds the install through the product key.
    shutil.copyfile(pausing_uninstaller, prefix.caller_folder / pausing_uninstaller.name)
    process = prefix.popen(tools.path("exitcode"), f"C:\\caller\\{pausing_uninstaller.name}", "/mode:noui",
                           cwd=prefix.caller_folder)
    try:
        deadline = time.monotonic() + 120
        while not paused.exists():
            assert process.poll() is None, (f"the uninstaller ended ({process.stdout()!r}) without pausing "
                                            f"while it unregistered the web component")
            assert time.monotonic() < deadline, "the uninstaller never paused while it unregistered"
            time.sleep(0.1)
        folder.rename(folder.with_name(VERSION + ".moved"))
        link(folder, users)
        resume.touch()
        process.wait(timeout=180)
    finally:
        process.kill()
    wait_for_started_programs(prefix)
    lines = process.stdout().decode(errors="replace").split()
    code = signed32(int(lines[-1])) if lines and lines[-1].lstrip("-").isdigit() else lines

    changed = changed_files(before, snapshot(users))
    assert not changed, (f"the uninstaller (exit {code}) changed the user's files behind the link put in place "
                         f"of {windows(prefix, folder)}: {changed}")


def test_a_folder_on_the_next_start_list_swapped_for_a_link_keeps_the_users_files(installed, tools):
    prefix = installed
    drive = prefix.path / "drive_c"
    bin_folder = version_folder(prefix) / "Bin"
    held = bin_folder / "PeloraCore.dll"
    with FileHolder(prefix, tools, windows(prefix, held), share="r"):
        code = uninstall(prefix, tools, "/mode:noui")
    waiting = pending(prefix)
    # The user's folder holds files named as the deferred one, as its side names and as whatever
    # else the list names in that folder.
    users = drive / "UserFiles"
    put_user_files(users, "next-start")
    names = {held.name} | {held.name + side for side in ("~1", "~2", "~3", ".rename")}
    inside = "\\??\\" + windows(prefix, bin_folder).lower() + "\\"
    names |= {p.rsplit("\\", 1)[-1] for p in waiting if p.lower().startswith(inside)}
    for name in sorted(names):
        (users / name).write_bytes(f"the user's {name}\r\n".encode() + bytes(range(256)))
    before = snapshot(users)
    if bin_folder.exists():
        shutil.rmtree(bin_folder)
    link(bin_folder, users)

    next_start(prefix)

    changed = changed_files(before, snapshot(users))
    assert not changed, (f"the next start changed the user's files behind the link put in place of "
                         f"{windows(prefix, bin_folder)} (uninstall exit {code}): {changed}; "
                         f"scheduled for the next start: {waiting}")


# --- a setup right after the uninstaller --------------------------------------------------------

def incomplete(prefix, first_files):
    """What the install in the default root lacks against the first install: files of the version
    folder, public files, an uninstall entry that names an existing uninstaller."""
    problems = []
    missing = sorted(set(first_files) - set(file_list(version_folder(prefix))))
    if missing:
        problems.append(f"{len(missing)} of {len(first_files)} files of the version folder missing: {missing}")
    absent = [name for name in PUBLIC_FILES if not (product_root(prefix) / name).is_file()]
    if absent:
        problems.append(f"missing from the product root: {absent}")
    entry = entry_values(prefix)
    if entry is None or "UninstallString" not in entry:
        problems.append(f"no uninstall entry or no UninstallString: {entry}")
    elif not prefix.unix_path(program_of(entry["UninstallString"])).is_file():
        problems.append(f"UninstallString {entry['UninstallString']} names no file")
    return problems


# While the uninstaller runs: nothing of the product in use, or its core library held by another
# program (let go as soon as the uninstaller has ended).
IN_USE = {"nothing-in-use": None, "file-held": "Bin/PeloraCore.dll"}


@pytest.mark.parametrize("in_use", IN_USE)
def test_a_setup_started_as_soon_as_the_uninstaller_ended_stays_complete(installed, installed_model, setup_exe,
                                                                          tools, in_use):
    prefix = installed
    _, first_files = installed_model
    holder = None
    if IN_USE[in_use]:
        holder = FileHolder(prefix, tools, windows(prefix, version_folder(prefix) / IN_USE[in_use]), share="r")
    # The installed uninstaller, and the setup as soon as it has ended, as "uninstall && setup" runs them.
    try:
        process = prefix.popen(tools.path("exitcode"), installed_uninstaller(prefix), "/mode:noui",
                               cwd=prefix.caller_folder)
        process.wait(timeout=120)
    finally:
        if holder:
            holder.__exit__(None, None, None)
    lines = process.stdout().decode(errors="replace").split()
    assert process.returncode == 0 and lines, f"exitcode.exe failed: {lines} {process.stderr()!r}"
    code = signed32(int(lines[-1]))
    # With a file held, a refusal (1) is as good as a removal: the setup installs over either.
    assert code == EXIT_FINISHED or (holder and code == EXIT_FAILED), f"the uninstall ended with {code}"
    install(prefix, setup_exe, tools)
    time.sleep(30)
    wait_for_started_programs(prefix)

    soon = incomplete(prefix, first_files)
    waited = after_the_next_start_if_needed(prefix)
    later = incomplete(prefix, first_files)
    assert not soon and not later, (f"the uninstaller ended with {code}; 30 s after the setup that followed it: "
                                    f"{'; '.join(soon) or 'complete'}; after the next start, which carried out "
                                    f"{waited}: {'; '.join(later) or 'complete'}")


# --- system files that are no longer the product's ---------------------------------------------

def system_folder(prefix):
    """GetSystemDirectory's folder for the tests' programs: a 32-bit program in a 64-bit prefix
    gets SysWOW64."""
    windows_folder = prefix.path / "drive_c" / "windows"
    if TEST_ARCH == "i686" and (windows_folder / "syswow64").is_dir():
        return "C:\\windows\\syswow64"
    return "C:\\windows\\system32"


def test_a_helper_dll_that_another_program_replaced_stays(installed, tools):
    prefix = installed
    helper = f"{system_folder(prefix)}\\{HELPER_DLL}"
    path = prefix.unix_path(helper)
    assert path.is_file(), f"the install put no {helper}"
    # The list names the DLL (as the setup writes it when it made the file); another program has
    # since put its own DLL of that name there.
    prefix.run("reg", "add", PRODUCT_KEY, "/v", "SystemFiles", "/t", "REG_MULTI_SZ", "/d", helper, "/f", check=True)
    assert [p.lower() for p in recorded_system_files(prefix)] == [helper.lower()]
    theirs = b"MZ another program's MivoVistaHelper.dll\r\n" + bytes(range(256)) * 4
    path.write_bytes(theirs)

    code = uninstall(prefix, tools, "/mode:noui")

    assert path.is_file(), f"the uninstaller (exit {code}) deleted {helper}, which another program had replaced"
    assert path.read_bytes() == theirs, f"{helper} was changed"
    assert code == EXIT_FINISHED


# --- an install in a folder with a blank, as Windows' list of programs sees it -----------------

BLANK_ROOT = "C:\\Program Files\\Pelora Test"


@pytest.fixture(scope="module")
def blank_folder_model(tmp_path_factory, blank_model, setup_exe, tools):
    """The blank prefix after a hidden install into C:\\Program Files\\Pelora Test, stopped; with the
    local dates before and after it."""
    path = tmp_path_factory.mktemp("program-files") / "prefix"
    prefix = WinePrefix.copy_of(blank_model[0], path)
    try:
        first_day = datetime.date.today()
        install(prefix, setup_exe, tools, f"/install_dir:{BLANK_ROOT}")
        last_day = datetime.date.today()
    finally:
        prefix.stop_server()
    yield path, {first_day.strftime("%Y%m%d"), last_day.strftime("%Y%m%d")}
    shutil.rmtree(path, ignore_errors=True)


@pytest.fixture
def in_blank_folder(blank_folder_model, tmp_path):
    with started_copy(blank_folder_model[0], tmp_path / "prefix") as prefix:
        yield prefix


def dword(data):
    """The number of exported "dword:0000002a" data; None for any other type."""
    match = re.fullmatch(r"dword:([0-9a-fA-F]{8})", data or "")
    return int(match.group(1), 16) if match else None


def test_the_uninstall_entry_of_a_folder_with_a_blank_describes_the_install(in_blank_folder, blank_folder_model):
    prefix = in_blank_folder
    _, days = blank_folder_model
    entry = entry_values(prefix)
    assert entry is not None, f"no {USER_ENTRY}"
    root = prefix.unix_path(BLANK_ROOT)
    size_kib = sum(p.stat().st_size for p in root.rglob("*") if p.is_file()) / 1024

    problems = []
    command = entry.get("UninstallString")
    if command != f'"{BLANK_ROOT}\\{UNINSTALLER}"':
        problems.append(f"UninstallString {command!r} is not the quoted uninstaller")
    if (entry.get("InstallLocation") or "").rstrip("\\") != BLANK_ROOT:
        problems.append(f"InstallLocation {entry.get('InstallLocation')!r} is not {BLANK_ROOT}")
    estimated = dword(entry.get("EstimatedSize"))
    if estimated is None or not estimated > 0 or abs(estimated - size_kib) > max(0.1 * size_kib, 16):
        problems.append(f"EstimatedSize {entry.get('EstimatedSize')!r} is not a DWORD near the {size_kib:.0f} KiB "
                        f"the files take")
    if entry.get("InstallDate") not in days:
        problems.append(f"InstallDate {entry.get('InstallDate')!r} is not the day of the install {sorted(days)}")
    for name in ("NoModify", "NoRepair"):
        if dword(entry.get(name)) != 1:
            problems.append(f"{name} {entry.get(name)!r} is not the DWORD 1")
    assert not problems, "; ".join(problems) + f"\nthe entry: {entry}"


def test_the_quiet_uninstall_command_removes_an_install_in_a_folder_with_a_blank(in_blank_folder, blank_model, tools):
    prefix = in_blank_folder
    _, before = blank_model
    command = (entry_values(prefix) or {}).get("QuietUninstallString")
    assert command, f"the uninstall entry has no QuietUninstallString: {entry_values(prefix)}"
    # Started exactly as written, as Windows starts it: CreateProcessW with no program name.
    command_file = prefix.caller_folder / "quiet-command.txt"
    command_file.write_bytes(command.encode("utf-16-le"))
    process = prefix.popen(tools.path("exitcode"), "--timeout=120000", "--command-file=C:\\caller\\quiet-command.txt",
                           cwd=prefix.caller_folder)
    process.wait(timeout=150)
    lines = process.stdout().decode(errors="replace").split()
    assert process.returncode != 3, f"{command} did not end by itself within 120 s: it waits for a person"
    assert process.returncode == 0 and lines, f"{command} could not be run: {lines} {process.stderr()!r}"
    wait_for_started_programs(prefix)
    code = signed32(int(lines[-1]))

    assert code == EXIT_FINISHED, f"{command} ended with {code}"
    waited = after_the_next_start_if_needed(prefix)
    assert_nothing_left(prefix, before, context=f"{command}, left for the next start {waited}: ")
