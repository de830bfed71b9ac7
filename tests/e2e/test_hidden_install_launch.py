"""A hidden install ends by starting the client as the logged-on user: the launcher "PL.exe" in
the product root gets "/startsrc:install" (and the caller's /startargs after it). Windows 10
starts it with the setup's own token, XP through the shell, and Windows 7 through a one-shot
scheduled task that is registered, waited for at most about 10 s and deleted again. The stand-in
launcher records its arguments in %APPDATA%\\CorvaneTest\\PL.log."""

import datetime
import re
import time

import pytest

from e2e_log import parse
from e2e_product import EXIT_FINISHED, HIDDEN_MODE, install_log_path

# 500 polls 20 ms apart, and the registration and deletion around them.
TASK_WAIT_BOUND_S = 13


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
    trigger), which the log names; a scheduler that takes it sees it deleted again after at most
    about 10 s. What the task asks for is checked through a recording scheduler in the unit
    tests (tests/deploy/scheduled_task_test.cpp)."""
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
    # The launch began after the firewall and updater steps; it takes at most its polls.
    index = launched[0]
    task_lines = [line for line in lines[:index] if line.message.startswith("[setup]task TaskAt")]
    started = task_lines[0] if task_lines else lines[index - 1]
    assert stamp_seconds(lines[index]) - stamp_seconds(started) <= TASK_WAIT_BOUND_S
    if not seen:
        assert task_lines, "the task was neither registered nor its refusal logged"
