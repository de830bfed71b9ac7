"""A hidden install ends by starting the client as the logged-on user: the launcher "PL.exe" in
the product root gets "/startsrc:install" (and the caller's /startargs after it). Windows 10
starts it with the logged-on user's token (the shell's; under Wine, which has no shell window, the
token of explorer.exe in the setup's session), never with the setup's raised one; XP through the
shell; Windows 7 through a one-shot scheduled task that is registered, waited for at most about
10 s and deleted again, and with the user's token when the task did not run it. A launcher that
does not end is waited for at most about 10 s and left running. The stand-in launcher records its
arguments in %APPDATA%\\CorvaneTest\\PL.log and stays running while PL.stay lies beside it.
Which token the setup asks for is checked in the unit tests (tests/deploy/launch_token_test.cpp):
Wine gives every program the same token."""

import datetime
import re
import time

import pytest

from e2e_log import parse
from e2e_product import EXIT_FINISHED, HIDDEN_MODE, install_log_path

# 500 polls 20 ms apart, and the registration and deletion around them.
TASK_WAIT_BOUND_S = 13
# The longest the setup waits for a launcher it started (kLaunchWaitMs).
LAUNCH_WAIT_S = 10


def launcher_record(prefix, wait_s=0.0):
    """The stand-in launcher's lines as (key, value) pairs; [] when it never ran."""
    path = prefix.appdata / "CorvaneTest" / "PL.log"
    deadline = time.monotonic() + wait_s
    while not path.exists() and time.monotonic() < deadline:
        time.sleep(0.2)
    if not path.exists():
        return []
    time.sleep(0.3)  # the stand-in writes its lines one by one
    return [tuple(line.split("=", 1)) for line in path.read_text(encoding="utf-8").splitlines() if "=" in line]


def arguments(record):
    return [value for key, value in record if re.fullmatch(r"arg\d+", key)]


def log_messages(prefix):
    return [line.message for line in parse(install_log_path(prefix).read_bytes())]


def launcher_path(prefix):
    return "C:\\" + str((prefix.appdata / "Corvane" / "Pelora" / "App" / "PL.exe")
                        .relative_to(prefix.path / "drive_c")).replace("/", "\\")


@pytest.mark.parametrize("version, way", [("win10", "CreateLowProcess"), ("winxp", "ShellExecute")])
def test_hidden_install_starts_the_launcher_with_the_install_source(make_prefix, run_setup, version, way):
    prefix = make_prefix(version)
    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED

    # Through the shell the launcher may still be starting when the setup ends.
    record = launcher_record(prefix, wait_s=15)
    assert arguments(record) == ["/startsrc:install"], record
    assert dict(record)["exe"].lower() == launcher_path(prefix).lower()
    assert f"\r\n{way}{launcher_path(prefix)}:/startsrc:install\r\n" in log_messages(prefix)
    assert not [m for m in log_messages(prefix) if "LaunchAsUser is not available" in m]


def test_start_arguments_follow_the_install_source(make_prefix, run_setup):
    prefix = make_prefix("win10")
    # The start arguments launch the client even when auto-start is off.
    assert run_setup(prefix, *HIDDEN_MODE, "/auto_start:false", "/startargs:/room:77", timeout=180) == EXIT_FINISHED
    assert arguments(launcher_record(prefix)) == ["/startsrc:install", "/room:77"]


def test_auto_start_false_launches_nothing(make_prefix, run_setup):
    prefix = make_prefix("win10")
    assert run_setup(prefix, *HIDDEN_MODE, "/auto_start:false", timeout=180) == EXIT_FINISHED
    assert launcher_record(prefix, wait_s=3) == []
    assert not [m for m in log_messages(prefix) if "CreateLowProcess" in m]


def stamp_seconds(line):
    year, month, day, hour, minute, second = line.stamp
    return datetime.datetime(year, month, day, hour, minute, second).timestamp()


def test_windows7_launch_through_a_task_is_bounded_and_leaves_no_task(make_prefix, start_setup):
    """Wine's scheduler refuses the task (no logon type on the principal, no registration
    trigger), which the log names, and the launcher is started with the user's token instead; a
    scheduler that takes it sees it deleted again after at most about 10 s. What the task asks
    for is checked through a recording scheduler in the unit tests
    (tests/deploy/scheduled_task_test.cpp)."""
    prefix = make_prefix("win7")
    tasks = prefix.path / "drive_c" / "windows" / "system32" / "Tasks"
    setup = start_setup(prefix, *HIDDEN_MODE)

    # Watch the scheduler's store from outside while the setup runs.
    seen = set()
    deadline = time.monotonic() + 240
    while setup.running() and time.monotonic() < deadline:
        if tasks.is_dir():
            seen.update(p.name for p in tasks.glob("TaskAt*"))
        time.sleep(0.1)
    assert setup.wait(timeout=30) == EXIT_FINISHED
    assert all(re.fullmatch(r"TaskAt\d+", name) for name in seen), seen
    leftover = list(tasks.glob("TaskAt*")) if tasks.is_dir() else []
    assert leftover == [], "a task stayed in the library"

    lines = parse(install_log_path(prefix).read_bytes())
    launched = [i for i, line in enumerate(lines)
                if line.message == f"\r\nRunAsUser{launcher_path(prefix)}:/startsrc:install\r\n"]
    assert len(launched) == 1, [line.message for line in lines[-8:]]
    # The launch began after the firewall and updater steps; it takes at most its polls and the
    # wait for a launcher started without the task.
    index = launched[0]
    task_lines = [line for line in lines[:index] if line.message.startswith("[setup]task TaskAt")]
    started = task_lines[0] if task_lines else lines[index - 1]
    assert stamp_seconds(lines[index]) - stamp_seconds(started) <= TASK_WAIT_BOUND_S + LAUNCH_WAIT_S
    if not seen:
        assert task_lines, "the task was neither registered nor its refusal logged"
        assert f"[setup]the task did not start {launcher_path(prefix)}: it is started with the user's token\r\n" \
            in [line.message for line in lines[:index]]
        assert arguments(launcher_record(prefix)) == ["/startsrc:install"]


def wait_for_stay_end(prefix, wait_s):
    """Whether the stand-in launcher recorded within `wait_s` that it left its stay."""
    deadline = time.monotonic() + wait_s
    while time.monotonic() < deadline:
        if ("stay", "ended") in launcher_record(prefix):
            return True
        time.sleep(0.2)
    return False


@pytest.mark.parametrize("version, way", [("win10", "CreateLowProcess"), ("win7", "RunAsUser")])
def test_a_launcher_that_never_ends_does_not_hold_the_hidden_install(make_prefix, start_setup, version, way):
    """The launcher shows a dialog nobody answers (the stand-in stays while PL.stay exists): the
    setup waits for it at most about 10 s, names it in the log and ends with its usual code while
    the launcher goes on running."""
    prefix = make_prefix(version)
    stay = prefix.appdata / "CorvaneTest" / "PL.stay"
    stay.parent.mkdir(parents=True, exist_ok=True)
    stay.touch()
    record = prefix.appdata / "CorvaneTest" / "PL.log"
    setup = start_setup(prefix, *HIDDEN_MODE)

    # The launcher's record appears when it starts; the setup's end is seen from outside.
    launched_at = None
    deadline = time.monotonic() + 180
    while setup.running() and time.monotonic() < deadline:
        if launched_at is None and record.exists():
            launched_at = time.monotonic()
        time.sleep(0.1)
    ended_at = time.monotonic()
    assert setup.wait(timeout=30) == EXIT_FINISHED
    assert launched_at is not None, "the launcher was not started"
    print(f"\n{version}: the setup ended {ended_at - launched_at:.1f} s after the launcher started")
    assert ended_at - launched_at <= LAUNCH_WAIT_S + 10

    assert arguments(launcher_record(prefix)) == ["/startsrc:install"]
    messages = log_messages(prefix)
    assert f"[setup]{launcher_path(prefix)} still runs after 10000 ms; it is left running\r\n" in messages
    assert f"\r\n{way}{launcher_path(prefix)}:/startsrc:install\r\n" in messages
    # Still running after the setup's end: it leaves only now that its marker goes.
    assert ("stay", "ended") not in launcher_record(prefix), "the launcher ended with the setup"
    stay.unlink()
    assert wait_for_stay_end(prefix, 10), "the launcher was no longer running when the setup ended"
