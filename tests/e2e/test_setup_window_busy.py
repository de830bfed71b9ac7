"""The setup window while it works: the fast mode installs without a click while the window keeps
answering its messages within 50 ms, and in the normal mode a client still running from the old
version folder is ended on Retry in the box the install click brings up."""

import time

import pytest

from e2e_product import EXIT_FINISHED, HIDDEN_MODE, INTERACTIVE_MODES, MESSAGE_CAPTION, VERSION
from e2e_screen import INSTALL_BUTTON
from e2e_wine import windows_path

CLIENT_RUNNING_TEXT = ("检测到映彩直播正在运行，安装无法继续。请单击「重试」强制关闭映彩直播以继续安装 "
                       "或者单击「取消」退出安装。")
IDCANCEL = 2
IDRETRY = 4
SLOWEST_ANSWER_MS = 50.0



def version_folder(prefix):
    return prefix.appdata / "Corvane" / "Pelora" / "App" / VERSION


# A bound on answer times holds on an idle machine, not beside other tests' Wine processes.
@pytest.mark.quiet
def test_fast_mode_installs_without_a_click_and_the_window_keeps_answering(screen_prefix, start_setup,
                                                                           latency_tool):
    prefix = screen_prefix
    setup = start_setup(prefix, *INTERACTIVE_MODES["fast"])
    meter = prefix.popen(windows_path(latency_tool), f"--pid={setup.pid}", "--seconds=240", "--wait=60000")
    assert meter.line(0, timeout=90).startswith("window "), meter.stdout()
    assert setup.wait(timeout=240) == EXIT_FINISHED
    meter.wait(timeout=30)
    summary = meter.line(1, timeout=5)
    assert summary and summary.startswith("samples "), meter.stdout()
    print(summary)
    fields = summary.split()
    samples, slowest, over = int(fields[1]), float(fields[3]), int(fields[5])
    assert samples >= 20, f"too few samples to judge: {summary}"
    assert slowest < SLOWEST_ANSWER_MS, f"the window answered late while installing: {summary}"
    assert over == 0
    assert (version_folder(prefix) / "Bin" / "Pelora.exe").exists()


def test_retry_ends_the_running_client_and_the_install_completes(screen_prefix, run_setup, start_setup,
                                                                 setup_window, window_list):
    prefix = screen_prefix
    assert run_setup(prefix, *HIDDEN_MODE, timeout=240) == EXIT_FINISHED
    # Started by its C: path, as a user would start it, so that its image path is in the version folder.
    client_exe = version_folder(prefix) / "Bin" / "Pelora.exe"
    client = prefix.popen("C:\\" + str(client_exe.relative_to(prefix.path / "drive_c")).replace("/", "\\"))
    try:
        time.sleep(3)
        assert client.poll() is None, "the client stand-in did not keep running"
        setup = start_setup(prefix)
        window = setup_window(prefix, setup)
        time.sleep(2)
        window.click(INSTALL_BUTTON, settle=0)

        windows = window_list(prefix)
        found = windows.find(caption=MESSAGE_CAPTION, text=CLIENT_RUNNING_TEXT, pid=setup.pid, wait_ms=60000)
        assert len(found) == 1, f"no Retry/Cancel box; the setup's windows: {windows.find(pid=setup.pid)}"
        window.screenshot_of("client-running", found[0]["rect"])
        assert sorted(button["id"] for button in found[0]["buttons"]) == [IDCANCEL, IDRETRY]
        assert windows.find(caption=MESSAGE_CAPTION, text=CLIENT_RUNNING_TEXT, pid=setup.pid, press=IDRETRY)
        client.wait(timeout=30)
        assert setup.wait(timeout=240) == EXIT_FINISHED
    finally:
        client.kill()
    assert (version_folder(prefix) / "Bin" / "Pelora.exe").exists()
