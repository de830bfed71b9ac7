"""A person uninstalls through the uninstall window: the question with the box for the user's data,
the question whether to end the running client, the removal's progress, its result, and the
refusal that opens on the result. The window runs in a probe program over a fake uninstaller that
writes down every call it gets (tests/ui/uninstall_window_probe.cpp); the exit code is the
window's result. Every page is photographed into the build's screenshots folder."""

import io
import shutil
import subprocess
import time

import pytest
from PIL import Image

from e2e_fixtures import _built, _xvfb
from e2e_screen import SetupWindow, changed_pixels, photograph, xdotool
from e2e_product import install_log_messages, product_root
from e2e_uninstall import UninstallerProcess, next_start
from e2e_wine import SetupProcess, WinePrefix

WIDTH, HEIGHT = 420, 270
EXIT_REMOVED, EXIT_NOT_REMOVED = 0, 1
RECORD = "C:\\caller\\uninstall-calls.txt"

# Where the widgets are (window coordinates), from the window's layout.
CLOSE_BUTTON = (396 + 12, 12)
FIRST_BUTTON = (82 + 60, 214 + 18)        # 卸载 / 关闭并卸载
CANCEL_BUTTON = (218 + 60, 214 + 18)      # 取消
ONLY_BUTTON = (150 + 60, 214 + 18)        # 完成
DATA_LABEL = (250, 187)                   # "同时删除我的个人数据", which ticks the box too
MESSAGE_AREA = (24, 124, 396, 168)
PROGRESS_AREA = (0, 226, WIDTH, HEIGHT)   # the status, the percentage and the bar

# Id -> size of every PNG the window's layout is built on (ui/uninstall/uninstall_art.cpp).
PNG_SIZES = {200: (420, 270), 201: (72, 72), **{i: (24, 24) for i in (166, 167, 168, 194)},
             176: (12, 12), 177: (12, 12), **{i: (120, 36) for i in (202, 203, 204, 205, 206, 207)}}
BACKGROUND = 200
DIALOG_TEMPLATE = "1008"
ICON_GROUP = "107"

NOT_RUNNING = ["IsClientRunning 0 window"]
REMOVED = ["Remove returns 0"]


class UninstallWindow(SetupWindow):
    """The probe's 420 x 270 uninstall window."""

    @staticmethod
    def _is_setup_window(window):
        left, top, right, bottom = window["rect"]
        return window["class"] == "#32770" and (right - left, bottom - top) == (WIDTH, HEIGHT)

    def screenshot(self, name):
        return photograph(self.display, name, self.left, self.top, WIDTH, HEIGHT)

    def key(self, name, settle=0.5):
        """A key pressed on the window, which has the keyboard focus as the screen's only window."""
        xdotool(self.display, "key", name)
        time.sleep(settle)


@pytest.fixture(scope="session")
def probe_exe():
    return _built("tests/ui/uninstall_window_probe.exe", "uninstall_window_probe")


@pytest.fixture(scope="module")
def probe_prefix(tmp_path_factory):
    """One prefix and display for the probe's runs: the probe writes nothing but its record, which
    each test starts afresh, and its window is gone when a test ends."""
    with _xvfb() as display:
        prefix = WinePrefix.create(tmp_path_factory.mktemp("uninstall-window") / "prefix-win7", "win7")
        prefix.env["DISPLAY"] = display
        yield prefix
        prefix.stop_server()
        shutil.rmtree(prefix.path, ignore_errors=True)


@pytest.fixture
def open_window(probe_prefix, tools, window_list, probe_exe):
    """open_window(*options) -> (probe process, UninstallWindow, calls()): the probe started with
    the options; calls() gives the handler calls recorded so far."""
    prefix = probe_prefix
    record = prefix.caller_folder / "uninstall-calls.txt"
    record.unlink(missing_ok=True)

    def calls():
        return record.read_text(encoding="utf-8").splitlines() if record.exists() else []

    started = []

    def start(*options):
        # Started under exitcode.exe, as a calling program starts the uninstaller.
        probe = SetupProcess(prefix, tools, probe_exe, [f"--record={RECORD}", *options])
        started.append(probe)
        window = UninstallWindow(window_list(prefix), probe.pid, prefix.env["DISPLAY"])
        time.sleep(1)
        return probe, window, calls

    yield start
    for probe in started:
        probe.kill()
    # The next test's window must be the only one on the display.
    for probe in started:
        wait_for(lambda: not probe.running(), 15, "the probe did not end")


def wait_for(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while not condition():
        assert time.monotonic() < deadline, what
        time.sleep(0.1)


def removal_ended(calls):
    wait_for(lambda: any(line.startswith("Remove returns") for line in calls()), 30, "the removal did not end")
    time.sleep(0.8)  # the result page is shown once the window hears of the end


def test_confirmed_removal_keeps_the_users_data_and_ends_with_0(open_window):
    probe, window, calls = open_window()
    confirm = window.screenshot("uninstall-confirm")
    window.click(FIRST_BUTTON)
    removal_ended(calls)
    done = window.screenshot("uninstall-removed")
    assert changed_pixels(confirm, done, MESSAGE_AREA) > 200, "the result replaced not the question"
    assert probe.running(), "the window must wait for the user's 完成"
    window.click(ONLY_BUTTON)
    assert probe.wait(timeout=30) == EXIT_REMOVED
    # The removal runs on a thread of its own, so that the window keeps answering.
    assert calls() == NOT_RUNNING + ["Remove removeData=0 worker"] + REMOVED


def test_ticked_box_removes_the_data_too_and_enter_presses_the_buttons(open_window):
    probe, window, calls = open_window()
    unticked = window.screenshot("uninstall-confirm-unticked")
    window.click(DATA_LABEL)
    ticked = window.screenshot("uninstall-confirm-ticked")
    assert changed_pixels(unticked, ticked, (120, 178, 160, 196)) > 10, "the box did not show the tick"
    window.key("Return")
    removal_ended(calls)
    window.key("Return")
    assert probe.wait(timeout=30) == EXIT_REMOVED
    assert calls() == NOT_RUNNING + ["Remove removeData=1 worker"] + REMOVED


def test_a_box_ticked_twice_keeps_the_data(open_window):
    probe, window, calls = open_window()
    window.click(DATA_LABEL)
    window.click(DATA_LABEL)
    window.click(FIRST_BUTTON)
    removal_ended(calls)
    window.click(ONLY_BUTTON)
    assert probe.wait(timeout=30) == EXIT_REMOVED
    assert calls() == NOT_RUNNING + ["Remove removeData=0 worker"] + REMOVED


@pytest.mark.parametrize("how", ["cancel button", "close button", "Esc", "Alt+F4"])
def test_cancelling_the_question_removes_nothing_and_ends_with_1(open_window, how):
    probe, window, calls = open_window("--running")
    if how in ("Esc", "Alt+F4"):
        window.key("Escape" if how == "Esc" else "alt+F4")
    else:
        window.click(CANCEL_BUTTON if how == "cancel button" else CLOSE_BUTTON)
    assert probe.wait(timeout=30) == EXIT_NOT_REMOVED
    assert calls() == [], "cancelling must not even look for the client"


def test_running_client_is_closed_on_request_then_removed(open_window):
    probe, window, calls = open_window("--running")
    confirm = window.screenshot("uninstall-confirm-before-running")
    window.click(FIRST_BUTTON)
    running = window.screenshot("uninstall-client-running")
    assert changed_pixels(confirm, running, MESSAGE_AREA) > 200, "no question about the running client"
    assert calls() == ["IsClientRunning 1 window"], "nothing may happen before the user's answer"
    window.click(FIRST_BUTTON)
    removal_ended(calls)
    window.click(ONLY_BUTTON)
    assert probe.wait(timeout=30) == EXIT_REMOVED
    assert calls() == ["IsClientRunning 1 window", "CloseClient 1 window", "Remove removeData=0 worker"] + REMOVED


def test_client_that_cannot_be_closed_keeps_the_question_open(open_window):
    probe, window, calls = open_window("--running", "--close-fails")
    window.click(FIRST_BUTTON)
    asked = window.screenshot("uninstall-client-running-asked")
    window.click(FIRST_BUTTON)
    refused = window.screenshot("uninstall-client-not-closed")
    assert changed_pixels(asked, refused, MESSAGE_AREA) > 200, "the window did not say the client stays"
    assert probe.running()
    # Another try is allowed; cancel ends the window without a removal.
    window.click(FIRST_BUTTON)
    window.click(CANCEL_BUTTON)
    assert probe.wait(timeout=30) == EXIT_NOT_REMOVED
    assert calls() == ["IsClientRunning 1 window", "CloseClient 0 window", "CloseClient 0 window"]


def test_failed_removal_says_so_and_ends_with_1(open_window):
    probe, window, calls = open_window("--remove-result=1")
    confirm = window.screenshot("uninstall-confirm-before-failure")
    window.click(FIRST_BUTTON)
    removal_ended(calls)
    failed = window.screenshot("uninstall-failed")
    assert changed_pixels(confirm, failed, MESSAGE_AREA) > 200, "the result replaced not the question"
    # One button only: where 卸载 was, a click finds nothing.
    window.click(FIRST_BUTTON)
    assert probe.running()
    window.key("Escape")
    assert probe.wait(timeout=30) == EXIT_NOT_REMOVED
    assert calls() == NOT_RUNNING + ["Remove removeData=0 worker", "Remove returns 1"]


def test_refusal_opens_on_the_result_and_only_closes(open_window):
    reason = "另一个用户安装的映彩直播不能在这里卸载，请用安装它的帐户卸载。"
    probe, window, calls = open_window(f"--refusal={reason}")
    window.screenshot("uninstall-refused")
    # The result page: where 卸载 would be, a click finds nothing, and Enter does not start a removal.
    window.click(FIRST_BUTTON)
    assert probe.running()
    window.key("Return")
    assert probe.wait(timeout=30) == EXIT_NOT_REMOVED
    assert calls() == [], "a refused window asks nothing of the uninstaller"


def test_window_keeps_answering_during_the_removal_and_cannot_be_closed(open_window):
    probe, window, calls = open_window("--remove-ms=9000", "--steps=45")
    window.click(FIRST_BUTTON, settle=1.5)
    first = window.screenshot("uninstall-progress")
    # Neither the close button, nor Esc or Alt+F4, nor Enter stops or repeats a removal under way.
    window.click(CLOSE_BUTTON)
    window.key("Escape")
    window.key("alt+F4")
    window.key("Return")
    time.sleep(1.5)
    second = window.screenshot("uninstall-progress-later")
    assert not any(line.startswith("Remove returns") for line in calls()), "the removal was too quick to judge"
    assert window.state() is not None, "the window closed during the removal"
    # The percentage and the bar moved on: the window painted the reports while Remove still ran.
    assert changed_pixels(first, second, PROGRESS_AREA) > 50, "the progress did not move while removing"
    removal_ended(calls)
    window.click(ONLY_BUTTON)
    assert probe.wait(timeout=30) == EXIT_REMOVED
    assert calls() == NOT_RUNNING + ["Remove removeData=0 worker"] + REMOVED


@pytest.fixture(scope="module")
def resources(probe_exe, tmp_path_factory):
    """{(type, name): bytes} of the resources the uninstaller's resource script gives the probe,
    read back with 7-Zip's PE reader; language folders merged."""
    sevenzip = shutil.which("7zz")
    assert sevenzip, "7zz (Debian's 7zip, scripts/bootstrap.sh) is not installed"
    out = tmp_path_factory.mktemp("uninstall-rsrc")
    subprocess.run([sevenzip, "x", "-tPE", "-y", f"-o{out}", str(probe_exe), ".rsrc"], check=True,
                   capture_output=True)
    found = {(path.parent.name, path.name): path.read_bytes() for path in (out / ".rsrc").glob("*/*/*")}
    # 7-Zip shows the version block as text of its own, one file per language.
    found.update({("VERSION", path.parent.name): path.read_bytes() for path in (out / ".rsrc").glob("*/version.txt")})
    return found


def test_the_resources_carry_the_art_at_its_layout_sizes_the_template_icon_and_version(resources):
    wrong = {}
    for resource_id, size in PNG_SIZES.items():
        data = resources.get(("PNG", str(resource_id)))
        assert data is not None, f"PNG {resource_id} is missing"
        image = Image.open(io.BytesIO(data)).convert("RGBA")
        if image.size != size:
            wrong[resource_id] = image.size
        # Everything but the background sits on it: its corners must let the background through.
        if resource_id != BACKGROUND:
            corners = [image.getpixel(point)[3] for point in
                       ((0, 0), (image.width - 1, 0), (0, image.height - 1), (image.width - 1, image.height - 1))]
            assert max(corners) < 64, f"PNG {resource_id}: corners {corners} hide the background"
    assert wrong == {}, f"PNGs not at their layout size: {wrong}"
    assert ("DIALOG", DIALOG_TEMPLATE) in resources, "no window template"
    assert ("GROUP_ICON", ICON_GROUP) in resources, "no window icon"
    version = next(data for (kind, _), data in resources.items() if kind == "VERSION")
    text = version.decode("utf-16-le", errors="replace")
    assert '"映彩直播 卸载程序"' in text, "the version's description is not the uninstaller's, or is garbled"
    manifest = next(data for (kind, _), data in resources.items() if kind == "MANIFEST")
    assert "<description>映彩直播 卸载程序</description>" in manifest.decode("utf-8")


def test_the_installed_uninstaller_asks_removes_and_says_so(screen_prefix, run_setup, tools, window_list):
    """The real uninstaller over a real install: the same window, then nothing of the product."""
    prefix = screen_prefix
    assert run_setup(prefix, "/mode:noui", timeout=180) == 0
    uninstaller = UninstallerProcess(prefix, tools)
    try:
        window = UninstallWindow(window_list(prefix), uninstaller.pid, prefix.env["DISPLAY"])
        time.sleep(1)
        confirm = window.screenshot("uninstaller-confirm")
        window.click(FIRST_BUTTON)
        wait_for(lambda: any(m.startswith("[uninstall]done") for m in install_log_messages(prefix)), 60,
                 "the removal did not end")
        time.sleep(1)
        done = window.screenshot("uninstaller-removed")
        assert changed_pixels(confirm, done, MESSAGE_AREA) > 200, "the result replaced not the question"
        assert uninstaller.running(), "the window waits for the user's 完成"
        window.click(ONLY_BUTTON)
        assert uninstaller.wait(timeout=30) == EXIT_REMOVED
    finally:
        uninstaller.kill()
    # Its own file goes at the next start, and the product root with it.
    assert not (product_root(prefix) / "PeloraUninst.exe").exists()
    next_start(prefix)
    assert not product_root(prefix).exists()
    assert prefix.reg_query(r"HKCU\SOFTWARE\Corvane\Pelora", "Install") is None
