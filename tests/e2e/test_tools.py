"""The test-only Windows tools the end-to-end tests rely on, checked against Wine's own programs
so that a broken tool shows up here and not as a puzzling setup failure."""

import time

from e2e_wine import MutexHolder


def test_exitcode_reports_the_full_32_bit_code(prefix, tools):
    out = prefix.run(tools.path("exitcode"), "cmd", "/c", "exit -1")
    lines = out.stdout.decode().split()
    assert out.returncode == 0
    assert lines[0] == "pid" and int(lines[1]) > 0
    assert lines[-1] == "-1"
    # The same code through Wine's own exit status keeps only the low byte.
    assert prefix.run("cmd", "/c", "exit -1").returncode == 255


def test_exitcode_passes_the_command_line_on_verbatim(prefix, tools):
    out = prefix.run(tools.path("exitcode"), "cmd", "/c", "exit 70000")
    assert out.stdout.decode().split()[-1] == "70000"


def test_exitcode_stops_a_program_that_outlives_the_timeout(prefix, tools):
    started = time.monotonic()
    out = prefix.run(tools.path("exitcode"), "--timeout=500", "cmd", "/c", "ping -n 30 127.0.0.1",
                     timeout=30)
    assert out.returncode == 3
    assert out.stdout.decode().split()[-1] == "timeout"
    assert time.monotonic() - started < 20


def test_mutexhold_holds_until_released_and_a_second_holder_is_busy(prefix, tools):
    holder = MutexHolder(prefix, tools, "pelora-e2e-tool-check")
    second = prefix.run(tools.path("mutexhold"), "pelora-e2e-tool-check", "--seconds=1")
    assert second.returncode == 1
    assert second.stdout.decode().strip() == "busy"
    holder.release()
    again = prefix.run(tools.path("mutexhold"), "pelora-e2e-tool-check", "--seconds=1")
    assert again.returncode == 0
    assert again.stdout.decode().split() == ["ready", "released"]


def test_winlist_finds_a_message_box_and_presses_its_button(prefix, tools, window_list):
    # msiexec with an unknown option shows its usage in a message box and waits.
    box_owner = prefix.popen("msiexec", "/unknown-option")
    windows = window_list(prefix)
    boxes = windows.find(caption="Error", wait_ms=20000)
    assert len(boxes) == 1, windows.find()
    box = boxes[0]
    assert box["class"] == "#32770"
    assert any(text.startswith("Windows Installer") for text in box["statics"])
    assert {"id": 1, "text": "OK"} in box["buttons"]
    # A caption that is not on screen finds nothing.
    assert windows.find(caption="岚拓映彩直播安装向导") == []

    assert windows.find(caption="Error", press="OK")
    box_owner.wait(timeout=20)
    assert windows.find(caption="Error", wait_ms=0) == []


def test_winlist_matches_chinese_captions(prefix, tools, window_list):
    (prefix.path / "drive_c" / "岚拓.txt").write_text("hi")
    editor = prefix.popen("notepad", "C:\\岚拓.txt")
    try:
        found = window_list(prefix).find(caption="岚拓.txt - Notepad", wait_ms=20000)
        assert [w["class"] for w in found] == ["Notepad"]
    finally:
        editor.kill()
