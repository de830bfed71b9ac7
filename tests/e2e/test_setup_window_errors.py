"""An engine error while the welcome page is shown interrupts nobody: a damaged payload fails the
extraction in the background, the window waits, and only the install click reports it in its
box, writes its install-log line and ends the setup with 1."""

import time

from e2e_fixtures import BUILD_DIR
from e2e_log import parse
from e2e_payload import with_flipped_payload
from e2e_product import EXIT_ABANDONED, IDOK, MESSAGE_CAPTION, install_log_path
from e2e_screen import INSTALL_BUTTON

PAYLOAD = BUILD_DIR / "payload" / "Setup.7z"
EXTRACT_FAILED_TEXT = "提取安装文件失败。"
EXTRACT_FAILED_LOG = "解压失败\r\n"


def log_messages(prefix):
    path = install_log_path(prefix)
    return [line.message for line in parse(path.read_bytes())] if path.exists() else []


def test_an_extraction_error_waits_for_the_install_click(screen_prefix, setup_exe, start_setup, setup_window,
                                                          window_list, tmp_path):
    prefix = screen_prefix
    damaged = with_flipped_payload(setup_exe, PAYLOAD, tmp_path / "PeloraSetup.exe")
    setup = start_setup(prefix, exe=damaged)
    window = setup_window(prefix, setup)
    windows = window_list(prefix)

    deadline = time.monotonic() + 60
    while not any(m.startswith("[日志]Setup.7z解压失败,还剩1次") for m in log_messages(prefix)):
        assert time.monotonic() < deadline, "the extraction did not fail"
        time.sleep(1)
    time.sleep(3)
    assert setup.running(), "the error ended the setup before the user did anything"
    assert windows.find(caption=MESSAGE_CAPTION, pid=setup.pid) == [], "the error interrupted the welcome page"
    assert EXTRACT_FAILED_LOG not in log_messages(prefix)

    window.click(INSTALL_BUTTON, settle=0)
    boxes = windows.find(caption=MESSAGE_CAPTION, text=EXTRACT_FAILED_TEXT, pid=setup.pid, wait_ms=30000)
    assert len(boxes) == 1, f"no error box; the setup's windows: {windows.find(pid=setup.pid)}"
    window.screenshot_of("error-extract-failed", boxes[0]["rect"])
    assert windows.find(caption=MESSAGE_CAPTION, text=EXTRACT_FAILED_TEXT, pid=setup.pid, press=IDOK)
    assert setup.wait(timeout=60) == EXIT_ABANDONED
    assert log_messages(prefix).count(EXTRACT_FAILED_LOG) == 1
