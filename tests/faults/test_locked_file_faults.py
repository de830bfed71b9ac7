"""A file of the product held open by another program while the setup runs: in the version folder
of an earlier install of the same version, among the public files of the product root, or in the
staging folder an earlier run left behind. holdfile.exe opens it for reading with each sharing a
program may choose. Whatever the sharing, a run either puts the packed file in its place (exit 0,
the file byte for byte the packed one, still so after the holder lets go) or ends with 1, naming
the file in the install log and registering nothing; it never reports success over an old or
vanishing file, and writes nothing outside the prefix.

What the sharing allows, on Windows: a file open for reading can be written only when its holder
shares writing, and renamed or deleted only when it shares deleting (FILE_SHARE_DELETE). A
deletion while the file is open leaves it "delete pending": its name stays until the holder closes
it, and nobody can open it meanwhile (before the immediate, POSIX-style deletion of Windows 10).
Wine differs there: it lets a program open a delete-pending file and write into it, and removes
the file, new content and all, when the holder closes it. The setup deletes the old files before
it copies the new ones, so under Wine a holder that shares writing and deleting would take the new
file with it unless the copy moves the doomed one aside first. (Windows before the POSIX-style
deletion would end that case with 1 instead: the pending name can be neither opened nor moved.) The
table below holds what Wine does; by the rules above a Windows 10 that deletes POSIX-style does the
same, provided its CopyFile, like Wine's, shares reading with the holder when it writes over a
file (the "rw" row).

All cases share one prefix with one first install: each case writes its own old content into the
file before it holds it, a failed case ends with a run after the holder let go, which must install
everything again, and the staging cases hold a file of whichever staging folder the run before used."""

import re
import shutil

import pytest

from e2e_fixtures import BUILD_DIR
from e2e_product import EXIT_ABANDONED, EXIT_FINISHED, HIDDEN_MODE, VERSION, install_log_messages
from e2e_wine import FileHolder, SetupProcess, WinePrefix

PACKED = BUILD_DIR / "payload" / "layout" / "program files" / "Corvane" / "Pelora"
STAGED_TREE = ("program files", "Corvane", "Pelora")
STAGED_FILE = re.compile(r"^\[path\] = .*\\Corvane\\STemp\\Pelora\\(Pelora~\d+)\\")
REGISTERED = "[setup]WriteProtocalInfo 1 "

REPLACED = "replaced"
REFUSED = "exit 1"

# (sharing, outcome, why). The outcome of a held file in the version folder or the product root.
SHARINGS = [
    ("none", REFUSED, "neither written, renamed nor deleted"),
    ("r", REFUSED, "readers only: neither written, renamed nor deleted"),
    ("rw", REPLACED, "written in place: the holder shares writing, not deleting"),
    ("rd", REPLACED, "moved aside, then copied: the holder shares deleting (a running program's image)"),
    ("rwd", REPLACED, "deleted, then moved aside and copied; the new file outlives the holder"),
]

# The public file held in the product root, per sharing: each of them is held at least once.
PUBLIC_FILE = {"none": "PL.exe", "r": "WebAPI.dll", "rw": "VTService.dll", "rd": "PL.exe", "rwd": "WebAPI.dll"}


def windows(path, prefix):
    return "C:\\" + str(path.relative_to(prefix.path / "drive_c")).replace("/", "\\")


def product_root(prefix):
    return prefix.appdata / "Corvane" / "Pelora" / "App"


def staging_used(messages):
    """The staging folder of the last run among `messages` (its extraction logs every file)."""
    folders = [m.group(1) for m in map(STAGED_FILE.match, messages) if m]
    assert folders, "the run logged no extracted file"
    return folders[-1]


@pytest.fixture(scope="module")
def earlier_install(tmp_path_factory, display, setup_exe, tools):
    """One prefix with a finished hidden install, shared by the module's cases."""
    prefix = WinePrefix.create(tmp_path_factory.mktemp("locked-files") / "prefix-win7", "win7")
    setup = SetupProcess(prefix, tools, setup_exe, HIDDEN_MODE)
    try:
        assert setup.wait(timeout=240) == EXIT_FINISHED, "the first install"
    finally:
        setup.kill()
    yield prefix
    prefix.stop_server()
    shutil.rmtree(prefix.path, ignore_errors=True)


@pytest.fixture
def run_held(earlier_install, run_setup, tools, setup_exe):
    """run_held(held, sharing) -> (exit code, install-log messages of the run, content of `held`
    while still held): a hidden run while holdfile.exe keeps `held` open with that sharing. The
    folder of the setup program (reached through Z:) must gain nothing."""
    prefix = earlier_install

    def run(held, sharing):
        program_folder = sorted(p.name for p in setup_exe.parent.iterdir())
        before = len(install_log_messages(prefix))
        with FileHolder(prefix, tools, windows(held, prefix), share=sharing):
            code = run_setup(prefix, *HIDDEN_MODE, timeout=240)
            during = held.read_bytes() if held.exists() else None
        messages = install_log_messages(prefix)[before:]
        assert sorted(p.name for p in setup_exe.parent.iterdir()) == program_folder
        assert not [m for m in messages if "Z:\\" in m], "a path outside the prefix"
        return code, messages, during

    return run


def expect_replaced(code, messages, held, packed, during):
    assert code == EXIT_FINISHED, messages[-30:]
    assert during == packed.read_bytes(), "the packed file while the holder still has its handle open"
    assert held.read_bytes() == packed.read_bytes(), "the packed file once the holder let go"
    assert sum(m.startswith(REGISTERED) for m in messages) == 1, "the run registered the product"


def expect_refused(prefix, run_setup, code, messages, held, packed, old):
    target = windows(held, prefix)
    assert code == EXIT_ABANDONED
    assert f"[setup]安装文件失败目标文件：{target}" in [m.rstrip() for m in messages], messages[-30:]
    assert any(m.rstrip() == "解压失败" for m in messages), "the window logs the error it received"
    assert not any(m.startswith(REGISTERED) for m in messages), "nothing registered after the failure"
    assert held.read_bytes() == old, "the file in use stays as it was"
    # Nothing the failed run left (side names, a half-removed folder) stands in the next run's way.
    assert run_setup(prefix, *HIDDEN_MODE, timeout=240) == EXIT_FINISHED, "a run once the holder let go"
    assert held.read_bytes() == packed.read_bytes()


@pytest.mark.parametrize("sharing, outcome, why", SHARINGS, ids=[s[0] for s in SHARINGS])
def test_a_file_of_the_version_folder_held_during_a_reinstall(earlier_install, run_held, run_setup, fault_row,
                                                               sharing, outcome, why):
    prefix = earlier_install
    held = product_root(prefix) / VERSION / "Bin" / "PeloraCore.dll"
    packed = PACKED / "Bin" / "PeloraCore.dll"
    old = f"an older PeloraCore.dll, held ({sharing})".encode()
    row = fault_row(f"version folder file held, sharing {sharing}",
                    f"holdfile.exe opens {VERSION}\\Bin\\PeloraCore.dll of an earlier install; hidden reinstall",
                    f"{outcome}: {why}")
    held.parent.mkdir(parents=True, exist_ok=True)
    held.write_bytes(old)

    code, messages, during = run_held(held, sharing)
    row.observed(f"exit {code}")
    if outcome == REPLACED:
        expect_replaced(code, messages, held, packed, during)
    else:
        expect_refused(prefix, run_setup, code, messages, held, packed, old)


@pytest.mark.parametrize("sharing, outcome, why", SHARINGS, ids=[s[0] for s in SHARINGS])
def test_a_public_file_of_the_product_root_held_during_a_reinstall(earlier_install, run_held, run_setup,
                                                                   fault_row, sharing, outcome, why):
    prefix = earlier_install
    name = PUBLIC_FILE[sharing]
    held = product_root(prefix) / name
    packed = PACKED / "Bin" / name
    old = f"an older {name}, held ({sharing})".encode()
    row = fault_row(f"public file held, sharing {sharing}",
                    f"holdfile.exe opens App\\{name} of an earlier install; hidden reinstall",
                    f"{outcome}: {why}")
    held.write_bytes(old)

    code, messages, during = run_held(held, sharing)
    row.observed(f"exit {code}")
    copied = [m.rstrip() for m in messages if m.startswith("[日志] [CopyPublicFileToInstallDir] About to CopyFileW(")
              and f", {windows(held, prefix)}, FALSE)" in m]
    assert len(copied) == 1 and copied[0].endswith(f"):{int(outcome == REPLACED)}"), copied
    if outcome == REPLACED:
        expect_replaced(code, messages, held, packed, during)
    else:
        expect_refused(prefix, run_setup, code, messages, held, packed, old)


# A run only empties an earlier staging folder, never writes into it: only the sharing of deletion
# matters, with or without the rest.
@pytest.mark.parametrize("sharing", ["none", "rd", "rwd"])
def test_a_file_of_an_earlier_staging_folder_held_during_a_run(earlier_install, run_held, fault_row, sharing):
    """However it is shared, the held file keeps its staging folder from being emptied, so the run
    extracts into another one: with deletion shared, the deleted file's name stays until the holder
    closes it (Wine keeps it too)."""
    prefix = earlier_install
    earlier = staging_used(install_log_messages(prefix))
    staging_root = prefix.appdata / "Corvane" / "STemp" / "Pelora"
    held = staging_root.joinpath(earlier, *STAGED_TREE, "Bin", "Pelora.exe")
    installed = product_root(prefix) / VERSION / "Bin" / "Pelora.exe"
    packed = PACKED / "Bin" / "Pelora.exe"
    row = fault_row(f"staging file held, sharing {sharing}",
                    f"holdfile.exe opens STemp\\Pelora\\{earlier}\\...\\Bin\\Pelora.exe of the run before; hidden run",
                    "exit 0 from another staging folder; installed Pelora.exe byte for byte the packed one")
    held.write_bytes(b"an older staged Pelora.exe")

    code, messages, _ = run_held(held, sharing)
    used = staging_used(messages)
    row.observed(f"exit {code}, extracted into {used}")
    assert code == EXIT_FINISHED, messages[-30:]
    assert used != earlier
    assert staging_root.joinpath(used, *STAGED_TREE, "Bin", "Pelora.exe").read_bytes() == packed.read_bytes()
    assert installed.read_bytes() == packed.read_bytes()
    assert sum(m.startswith(REGISTERED) for m in messages) == 1
