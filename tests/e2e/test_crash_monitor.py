"""A crash of the setup after extraction never ends in a silent death: the crash monitor freezes
the setup, writes the two heap-walk files into %TEMP%\\Corvane, starts the payload's
"bugreport.exe" with the handles and the block's address, which reads the block out of the frozen
setup, writes its report next to the heap-walk files and signals; a reporter that does not take
over leaves the fallback box. The setup always ends with exit code 4660. The crashes come from the test build
PeloraSetupCrashTest.exe (environment variable PELORA_TEST_CRASH); the shipped program has no such
trigger."""

import re
import shutil
import time

from e2e_log import parse
from e2e_product import EXIT_FINISHED, HIDDEN_MODE, install_log_path

EXIT_CRASHED = 4660
BOX_CAPTION = "崩溃"
BOX_TEXT_END = "发生了崩溃，将会关闭"
HEAP_WALK_HEADER = "FreeBlkAddr:Len,OverheadSize"
HEAP_WALK_OK = "-----------ok:no error encountered durning walking-----------"
COMMAND_LINE = re.compile(r"bugreport /buginfo:([0-9A-F]{8}|[0-9A-F]{16}):([0-9A-F]{8}|[0-9A-F]{16}):"
                          r"([0-9A-F]{8}|[0-9A-F]{16}):(\d+) /extinfo:(0{8}|0{16})")


def evidence(prefix, key, name="bugreport"):
    """The values of `key` the stand-in `name` recorded, in order."""
    log = prefix.appdata / "CorvaneTest" / f"{name}.log"
    if not log.exists():
        return []
    lines = log.read_text(encoding="utf-8").splitlines()
    return [line[len(key) + 1:] for line in lines if line.startswith(key + "=")]


def reporter_runs(prefix, name="bugreport"):
    """The command lines the reporter was started with, in order."""
    return evidence(prefix, "cmdline", name)


def crash_report(prefix):
    """The text of the one report the reporter wrote."""
    assert evidence(prefix, "error") == []
    reports = evidence(prefix, "report")
    assert len(reports) == 1, reports
    return prefix.unix_path(reports[0]).read_text(encoding="utf-8")


def staged_bin(prefix):
    return prefix.appdata / "Corvane" / "STemp" / "Pelora" / "Pelora~0" / "program files" / "Corvane" / "Pelora" / "Bin"


def wait_until_armed(prefix, timeout=120):
    deadline = time.monotonic() + timeout
    while not any("crash monitor armed" in line.message for line in parse_log(prefix)):
        assert time.monotonic() < deadline, "the monitor was never armed"
        time.sleep(0.5)


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


def assert_one_documented_start(prefix, setup, name="bugreport"):
    runs = reporter_runs(prefix, name)
    assert len(runs) == 1, runs
    match = COMMAND_LINE.fullmatch(runs[0])
    assert match, runs[0]
    event, process, block, pid, _ = match.groups()
    assert int(pid) == setup.pid
    assert int(event, 16) and int(process, 16) and int(block, 16)
    # The staged reporter, not one found elsewhere.
    exe = evidence(prefix, "exe", name)[0].lower()
    assert exe.endswith("\\stemp\\pelora\\pelora~0\\program files\\corvane\\pelora\\bin\\bugreport.exe"), exe


def assert_report_names(prefix, setup, code, name):
    report = crash_report(prefix)
    assert f"Exception: {code} {name}" in report, report
    address = next(line for line in report.splitlines() if line.startswith("Address: "))
    assert "PeloraSetupCrashTest.exe+0x" in address, address
    assert f"Process: {setup.pid}" in report
    assert "Running executable: " in report and "PeloraSetupCrashTest.exe" in report
    assert "Display name: 映彩直播" in report
    # The heap-walk files it names are the ones on disk.
    for path in heap_walk_files(prefix, "full") + heap_walk_files(prefix, "above30"):
        assert path.name in report
    return report

def crash_and_read_report(prefix, start_setup, exe, kind, code, name):
    """A crash of `kind` that ends as every crash should: exit 4660, one documented start of the
    reporter, both heap-walk files, and a report naming the exception; returns the report."""
    setup = start_crashing(prefix, start_setup, exe, kind)
    assert setup.wait(timeout=120) == EXIT_CRASHED
    assert_one_documented_start(prefix, setup)
    assert_heap_walk_files(prefix)
    return assert_report_names(prefix, setup, code, name)



def test_an_access_violation_after_extraction_ends_in_the_reporters_report_and_4660(
        prefix, start_setup, seam_setup_exe):
    report = crash_and_read_report(prefix, start_setup, seam_setup_exe, "access", "0xC0000005", "EXCEPTION_ACCESS_VIOLATION")
    assert "Access: Write address 0x" in report
    messages = [line.message for line in parse_log(prefix)]
    assert any(m.startswith("[setup]crash monitor armed, reporter ") and "bugreport.exe" in m for m in messages)


def test_a_filter_installed_after_arming_cannot_take_the_crash_away(prefix, start_setup, seam_setup_exe):
    setup = start_crashing(prefix, start_setup, seam_setup_exe, "filter")
    assert setup.wait(timeout=120) == EXIT_CRASHED, "the other filter would have ended the setup with 7"
    assert_one_documented_start(prefix, setup)
    assert_report_names(prefix, setup, "0xC0000005", "EXCEPTION_ACCESS_VIOLATION")


def test_a_stack_overflow_gives_the_same_files_and_report(prefix, start_setup, seam_setup_exe):
    report = crash_and_read_report(prefix, start_setup, seam_setup_exe, "stack", "0xC00000FD", "EXCEPTION_STACK_OVERFLOW")
    # The thread's own stack, saved before the handler moved to its fresh one.
    assert re.search(r"Stack overflow, thread stack 0x[0-9A-F]+-0x[0-9A-F]+", report), report


def test_threads_crashing_together_start_one_reporter(prefix, start_setup, seam_setup_exe):
    setup = start_crashing(prefix, start_setup, seam_setup_exe, "threads")
    assert setup.wait(timeout=120) == EXIT_CRASHED
    assert_one_documented_start(prefix, setup)
    assert len(heap_walk_files(prefix, "full")) == 1
    assert_report_names(prefix, setup, "0xC0000005", "EXCEPTION_ACCESS_VIOLATION")


def test_a_cpp_exception_nobody_catches_ends_in_the_reporters_report_and_4660(prefix, start_setup, seam_setup_exe):
    # The worker thread throws right after arming the monitor. The 32-bit build unwinds without
    # structured exceptions: left alone, the runtime would end the setup with 3 and no report.
    report = crash_and_read_report(prefix, start_setup, seam_setup_exe, "throw", "0xE0504C01", "uncaught C++ exception")
    assert "\nThrown: std::runtime_error: test crash: nobody catches this\n" in report, report


def test_an_abort_ends_in_the_reporters_report_and_4660(prefix, start_setup, seam_setup_exe):
    report = crash_and_read_report(prefix, start_setup, seam_setup_exe, "abort", "0xE0504C02", "abort() called")
    assert "Thrown: " not in report


def test_a_reporter_that_ends_without_signalling_leads_to_the_box_and_4660(
        prefix, start_setup, window_list, seam_setup_exe):
    # The launcher stand-in in the reporter's place: it records its start and ends, signalling nothing.
    flag = prefix.path / "drive_c" / "crash-now"
    setup = start_crashing(prefix, start_setup, seam_setup_exe, "access", wait_file="C:\\crash-now")
    wait_until_armed(prefix)
    shutil.copyfile(staged_bin(prefix) / "PL.exe", staged_bin(prefix) / "bugreport.exe")
    flag.touch()

    box = dismiss_box(prefix, window_list, setup)
    assert setup.wait(timeout=60) == EXIT_CRASHED
    assert BOX_TEXT_END in box_text(box)
    assert "PeloraSetupCrashTest.exe" in box_text(box)
    assert_one_documented_start(prefix, setup, name="PL")
    assert_heap_walk_files(prefix)


def test_a_reporter_that_neither_signals_nor_ends_is_left_after_a_minute_for_the_box_and_4660(
        prefix, start_setup, window_list, seam_setup_exe):
    # The launcher stand-in in the reporter's place, told to stay: it records its start and waits.
    stay = prefix.appdata / "CorvaneTest" / "PL.stay"
    stay.parent.mkdir(parents=True, exist_ok=True)
    stay.touch()
    flag = prefix.path / "drive_c" / "crash-now"
    setup = start_crashing(prefix, start_setup, seam_setup_exe, "access", wait_file="C:\\crash-now")
    wait_until_armed(prefix)
    shutil.copyfile(staged_bin(prefix) / "PL.exe", staged_bin(prefix) / "bugreport.exe")
    flag.touch()
    started = time.monotonic()

    box = dismiss_box(prefix, window_list, setup)
    waited = time.monotonic() - started
    assert setup.wait(timeout=60) == EXIT_CRASHED
    assert BOX_TEXT_END in box_text(box)
    assert_one_documented_start(prefix, setup, name="PL")
    assert 55 <= waited <= 90, f"the box came {waited:.0f} s after the crash"
    assert evidence(prefix, "stay", name="PL") == [], "the reporter was ended, not left running"
    stay.unlink()


def test_a_missing_reporter_leads_to_the_box_and_4660_and_a_planted_one_never_runs(
        prefix, start_setup, window_list, seam_setup_exe):
    flag = prefix.path / "drive_c" / "crash-now"
    setup = start_crashing(prefix, start_setup, seam_setup_exe, "access", wait_file="C:\\crash-now")
    wait_until_armed(prefix)
    # A "bugreport.exe" of somebody's in the setup's current folder, where a search would find it:
    # the reporter stand-in, which records every start.
    shutil.copyfile(staged_bin(prefix) / "bugreport.exe", prefix.caller_folder / "bugreport.exe")
    (staged_bin(prefix) / "bugreport.exe").unlink()
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
