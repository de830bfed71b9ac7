"""A crash of the setup after extraction never ends in a silent death: the crash monitor freezes
the setup, writes the two heap-walk files into %TEMP%\\Corvane, starts the payload's
"bugreport.exe" with the handles and the block's address, shows the fallback box when the reporter
does not take over, and ends the setup with exit code 4660. The crashes come from the test build
PeloraSetupCrashTest.exe (environment variable PELORA_TEST_CRASH); the shipped program has no such
trigger."""

import re
import time

import pytest

from conftest import _built
from e2e_log import parse
from e2e_product import EXIT_FINISHED, HIDDEN_MODE, install_log_path

EXIT_CRASHED = 4660
BOX_CAPTION = "崩溃"
BOX_TEXT_END = "发生了崩溃，将会关闭"
HEAP_WALK_HEADER = "FreeBlkAddr:Len,OverheadSize"
HEAP_WALK_OK = "-----------ok:no error encountered durning walking-----------"
COMMAND_LINE = re.compile(r"bugreport /buginfo:([0-9A-F]{8}|[0-9A-F]{16}):([0-9A-F]{8}|[0-9A-F]{16}):"
                          r"([0-9A-F]{8}|[0-9A-F]{16}):(\d+) /extinfo:(0{8}|0{16})")


@pytest.fixture(scope="session")
def crash_setup_exe():
    return _built("app/PeloraSetupCrashTest.exe", "PeloraSetupCrashTest")


def reporter_runs(prefix):
    """The command lines the payload's bugreport.exe was started with, in order."""
    log = prefix.appdata / "CorvaneTest" / "bugreport.log"
    if not log.exists():
        return []
    lines = log.read_text(encoding="utf-8").splitlines()
    return [line[len("cmdline="):] for line in lines if line.startswith("cmdline=")]


def reporter_exes(prefix):
    log = prefix.appdata / "CorvaneTest" / "bugreport.log"
    return [line[len("exe="):] for line in log.read_text(encoding="utf-8").splitlines() if line.startswith("exe=")]


def heap_walk_files(prefix, kind):
    return sorted((prefix.path / "drive_c").rglob(f"Corvane/PeloraSetupCrashTest*Heapwalk_{kind}.txt"))


def start_crashing(prefix, start_setup, exe, kind, wait_file=None):
    """The test build in hidden mode, crashing with `kind` once the monitor is armed (after
    `wait_file` exists, when given)."""
    prefix.env["PELORA_TEST_CRASH"] = kind
    if wait_file:
        prefix.env["PELORA_TEST_CRASH_AFTER"] = wait_file
    setup = start_setup(prefix, *HIDDEN_MODE, exe=exe)
    return setup


def dismiss_box(prefix, window_list, setup):
    """Finds the fallback box of the setup, presses its OK, and returns what winlist saw."""
    boxes = window_list(prefix).find(caption=BOX_CAPTION, pid=setup.pid, wait_ms=90000)
    assert len(boxes) == 1, boxes
    window_list(prefix).find(caption=BOX_CAPTION, pid=setup.pid, press="OK")
    return boxes[0]


def box_text(box):
    return " ".join(str(value) for value in box.values())


def assert_heap_walk_files(prefix):
    fulls, aboves = heap_walk_files(prefix, "full"), heap_walk_files(prefix, "above30")
    assert len(fulls) == 1 and len(aboves) == 1, (fulls, aboves)
    # The crash tick in hexadecimal between the program's name and the suffix.
    assert re.fullmatch(r"PeloraSetupCrashTest[0-9a-f]+Heapwalk_full\.txt", fulls[0].name)
    assert aboves[0].name == fulls[0].name.replace("full.txt", "above30.txt")
    assert fulls[0].parent.parent.name.lower() == "temp"
    for path in (fulls[0], aboves[0]):
        raw = path.read_bytes()
        assert not raw.startswith(b"\xff\xfe"), "no byte-order mark"
        lines = raw.decode("utf-16-le").split("\r\n")
        assert lines[0] == HEAP_WALK_HEADER
        assert lines[-1] == ""
        assert lines[-3:-1] == [HEAP_WALK_OK, "full"], lines[-4:]
        for entry in lines[1:-3]:
            assert re.fullmatch(r"([0-9A-F]{8}|[0-9A-F]{16}):[0-9a-f]+,[0-9a-f]+", entry), entry


def assert_one_documented_start(prefix, setup):
    runs = reporter_runs(prefix)
    assert len(runs) == 1, runs
    match = COMMAND_LINE.fullmatch(runs[0])
    assert match, runs[0]
    event, process, block, pid, _ = match.groups()
    assert int(pid) == setup.pid
    assert int(event, 16) and int(process, 16) and int(block, 16)
    # The staged reporter, not one found elsewhere.
    assert reporter_exes(prefix)[0].lower().endswith("\\program files\\corvane\\pelora\\bin\\bugreport.exe")
    assert "\\stemp\\pelora\\" in reporter_exes(prefix)[0].lower()


def test_an_access_violation_after_extraction_starts_the_reporter_and_ends_with_4660(
        prefix, start_setup, window_list, crash_setup_exe):
    setup = start_crashing(prefix, start_setup, crash_setup_exe, "access")
    box = dismiss_box(prefix, window_list, setup)
    assert setup.wait(timeout=60) == EXIT_CRASHED

    # The stand-in reporter records its start and ends without signalling: hence the box.
    assert BOX_TEXT_END in box_text(box)
    assert "PeloraSetupCrashTest.exe" in box_text(box)
    assert_one_documented_start(prefix, setup)
    assert_heap_walk_files(prefix)
    messages = [line.message for line in parse(install_log_path(prefix).read_bytes())]
    assert any(m.startswith("[setup]crash monitor armed, reporter ") and "bugreport.exe" in m for m in messages)


def test_a_stack_overflow_gives_the_same_files_and_reporter_start(prefix, start_setup, window_list, crash_setup_exe):
    setup = start_crashing(prefix, start_setup, crash_setup_exe, "stack")
    dismiss_box(prefix, window_list, setup)
    assert setup.wait(timeout=60) == EXIT_CRASHED
    assert_one_documented_start(prefix, setup)
    assert_heap_walk_files(prefix)


def test_threads_crashing_together_start_one_reporter(prefix, start_setup, window_list, crash_setup_exe):
    setup = start_crashing(prefix, start_setup, crash_setup_exe, "threads")
    dismiss_box(prefix, window_list, setup)
    assert setup.wait(timeout=60) == EXIT_CRASHED
    assert_one_documented_start(prefix, setup)
    assert len(heap_walk_files(prefix, "full")) == 1


def test_a_missing_reporter_leads_to_the_box_and_4660(prefix, start_setup, window_list, crash_setup_exe):
    flag = prefix.path / "drive_c" / "crash-now"
    setup = start_crashing(prefix, start_setup, crash_setup_exe, "access", wait_file="C:\\crash-now")
    staged = (prefix.appdata / "Corvane" / "STemp" / "Pelora" / "Pelora~0" / "program files" / "Corvane" / "Pelora"
              / "Bin" / "bugreport.exe")
    deadline = time.monotonic() + 120
    while not any("crash monitor armed" in line.message for line in parse_log(prefix)):
        assert time.monotonic() < deadline, "the monitor was never armed"
        time.sleep(0.5)
    staged.unlink()
    flag.touch()

    box = dismiss_box(prefix, window_list, setup)
    assert setup.wait(timeout=60) == EXIT_CRASHED
    assert BOX_TEXT_END in box_text(box)
    assert reporter_runs(prefix) == []
    # No reporter, no heap-walk files.
    assert heap_walk_files(prefix, "full") == []


def test_the_shipped_program_ignores_the_crash_trigger(prefix, run_setup):
    prefix.env["PELORA_TEST_CRASH"] = "access"
    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED
    assert reporter_runs(prefix) == []
    assert list((prefix.path / "drive_c").rglob("*Heapwalk_full.txt")) == []
    messages = [line.message for line in parse_log(prefix)]
    assert any(m.startswith("[setup]crash monitor armed, reporter ") for m in messages), "armed all the same"


def parse_log(prefix):
    path = install_log_path(prefix)
    return parse(path.read_bytes()) if path.exists() else []
