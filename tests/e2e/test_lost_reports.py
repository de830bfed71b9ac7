"""A report of the engine that cannot be posted to the setup window (as when the window's queue is
full) is not lost: the window picks it up on its timer and ends as the report says, and an engine
whose worker cannot start ends the run at once. However a report goes astray, the hidden run ends,
with 0 after a finished install and 1 after a failed one, and a window that shows the failure
closes when its box is answered. The test build loses the posts (PELORA_TEST_LOSE_REPORT) and keeps
the worker from starting (PELORA_TEST_NO_WORKER)."""

from e2e_fixtures import BUILD_DIR
from e2e_payload import with_flipped_payload
from e2e_product import (EXIT_ABANDONED, EXIT_FINISHED, HIDDEN_MODE, IDOK, INTERACTIVE_MODES, MESSAGE_CAPTION,
                         PRODUCT_KEY, VERSION, install_log_messages, version_folder)
from e2e_registry import reg_values

WM_SETUP_STEP = 0x400 + 2
WM_SETUP_ERROR = 0x400 + 3
ERROR_NOT_ENOUGH_QUOTA = 1816
PAYLOAD = BUILD_DIR / "payload" / "Setup.7z"
EXTRACT_FAILED_TEXT = "提取安装文件失败。"
EXTRACT_FAILED_LOG = "解压失败\r\n"
UNKNOWN_ERROR_LOG = "安装过程当中出现了未知错误\r\n"


def kept_line(message):
    return f"[setup]report {message} not posted, error {ERROR_NOT_ENOUGH_QUOTA}; kept for the window\n"


def damaged_setup(seam_setup_exe, tmp_path):
    """The test build with a payload that fails its CRC: the extraction fails after its four
    attempts and the engine reports an error, while the window is up."""
    return with_flipped_payload(seam_setup_exe, PAYLOAD, tmp_path / "PeloraSetupCrashTest.exe")


def test_a_hidden_install_whose_final_step_is_lost_still_ends_with_0(prefix, run_setup, seam_setup_exe):
    prefix.env["PELORA_TEST_LOSE_REPORT"] = "5"
    assert run_setup(prefix, *HIDDEN_MODE, exe=seam_setup_exe, timeout=180) == EXIT_FINISHED
    assert (version_folder(prefix) / "Bin" / "PL.exe").is_file()
    assert reg_values(prefix, PRODUCT_KEY)["Install"].endswith(VERSION)
    assert install_log_messages(prefix).count(kept_line(WM_SETUP_STEP)) == 1


def test_a_hidden_install_whose_error_is_lost_still_ends_with_1(prefix, run_setup, seam_setup_exe, tmp_path):
    prefix.env["PELORA_TEST_LOSE_REPORT"] = "error"
    damaged = damaged_setup(seam_setup_exe, tmp_path)
    assert run_setup(prefix, *HIDDEN_MODE, exe=damaged, timeout=180) == EXIT_ABANDONED
    messages = install_log_messages(prefix)
    assert messages.count(kept_line(WM_SETUP_ERROR)) == 1
    assert messages.count(EXTRACT_FAILED_LOG) == 1, "the window handled the kept error"
    assert not version_folder(prefix).exists()


def test_a_hidden_run_whose_worker_cannot_start_ends_with_1(prefix, run_setup, seam_setup_exe):
    prefix.env["PELORA_TEST_NO_WORKER"] = "1"
    assert run_setup(prefix, *HIDDEN_MODE, exe=seam_setup_exe, timeout=60) == EXIT_ABANDONED
    messages = install_log_messages(prefix)
    assert "[setup]worker thread not started: no ready event, error 1450\n" in messages
    assert any(m.startswith("[setup]the worker thread could not be given the extraction") for m in messages)
    assert messages.count(UNKNOWN_ERROR_LOG) == 1
    assert not version_folder(prefix).exists()
    assert reg_values(prefix, PRODUCT_KEY) is None


def test_the_fast_window_shows_a_lost_error_and_closes(prefix, start_setup, window_list, seam_setup_exe, tmp_path):
    prefix.env["PELORA_TEST_LOSE_REPORT"] = "error"
    setup = start_setup(prefix, *INTERACTIVE_MODES["fast"], exe=damaged_setup(seam_setup_exe, tmp_path))
    windows = window_list(prefix)

    boxes = windows.find(caption=MESSAGE_CAPTION, text=EXTRACT_FAILED_TEXT, pid=setup.pid, wait_ms=90000)
    assert len(boxes) == 1, f"no error box; the setup's windows: {windows.find(pid=setup.pid)}"
    assert windows.find(caption=MESSAGE_CAPTION, text=EXTRACT_FAILED_TEXT, pid=setup.pid, press=IDOK)
    assert setup.wait(timeout=60) == EXIT_ABANDONED
    assert install_log_messages(prefix).count(kept_line(WM_SETUP_ERROR)) == 1
