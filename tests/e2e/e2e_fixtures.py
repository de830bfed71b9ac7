"""Fixtures of the end-to-end and fault tests: the built setup program and tools, a fresh Wine prefix per
test with its own wineserver, a display, and helpers to hold the single-instance mutex, run the
setup as a calling program would, and look at windows, files and the registry.

The build is found through PELORA_BUILD_DIR (set by scripts/test.sh), else build/<test arch>."""

import contextlib
import os
import shutil
import subprocess
from pathlib import Path

import pytest

from e2e_drives import TmpfsMounts
from e2e_product import EXIT_FINISHED, HIDDEN_MODE, SINGLE_INSTANCE_MUTEX, file_list, version_folder
from e2e_report import ReportServer
from e2e_wine import ROOT, TEST_ARCH, MutexHolder, SetupProcess, Tools, WindowList, WinePrefix

BUILD_DIR = Path(os.environ.get("PELORA_BUILD_DIR") or ROOT / "build" / TEST_ARCH)


def _built(relative, target):
    """Path of a built program. A program whose target the build does not define yet (its code
    has not landed) skips the test; one that the build defines but did not produce fails it,
    since then the build is broken."""
    path = BUILD_DIR / relative
    if path.exists():
        return path
    ninja = BUILD_DIR / "build.ninja"
    if ninja.exists() and f"{relative}:".encode() in ninja.read_bytes():
        pytest.fail(f"{path} is a target of the build but was not built (build failed?)")
    pytest.skip(f"{target} is not built yet: no {path} (build with scripts/test.sh)")


@pytest.fixture(scope="session", autouse=True)
def default_report_server(tmp_path_factory):
    """An acknowledging report server on loopback, one per test process, to which every prefix's
    programs report unless a test names a server of its own in the prefix's environment. Without
    an answer the setup's report thread tries the built-in server's name (which does not resolve
    here) until its shutdown bound runs out: some seconds at the end of every run, for nothing
    the test looks at."""
    server = ReportServer(tmp_path_factory.mktemp("default-reports"), time_limit=24 * 3600)
    previous = os.environ.get("PELORA_REPORT_SERVER")
    os.environ["PELORA_REPORT_SERVER"] = server.address
    yield server
    if previous is None:
        del os.environ["PELORA_REPORT_SERVER"]
    else:
        os.environ["PELORA_REPORT_SERVER"] = previous
    server.stop()


@pytest.fixture
def report_server(tmp_path):
    """An acknowledging report server of the test's own, for a test that reads what was reported:
    the test points a prefix at it (`prefix.env["PELORA_REPORT_SERVER"] = report_server.address`)."""
    server = ReportServer(tmp_path, "ack")
    yield server
    server.stop()


@pytest.fixture(scope="session")
def setup_exe():
    return _built("app/PeloraSetup.exe", "PeloraSetup")


@pytest.fixture(scope="session")
def seam_setup_exe():
    """The test build of the setup program: the same program with the seams that the test-build
    switches (PELORA_TEST_...) and the crash kinds turn on."""
    return _built("app/PeloraSetupCrashTest.exe", "PeloraSetupCrashTest")


@pytest.fixture(scope="session")
def tools():
    for name in ("winlist", "mutexhold", "exitcode", "holdfile", "volatilekey"):
        _built(f"tools/{name}.exe", name)
    return Tools(BUILD_DIR / "tools")


@contextlib.contextmanager
def _xvfb():
    """An Xvfb server of our own for the duration; its display name (":N")."""
    read_end, write_end = os.pipe()
    # -noreset: by default the server resets when its last client leaves and then writes its
    # display number to the pipe once more; with nobody reading it, it exits, and the next Wine
    # process finds no display and waits forever in its window creation. The read end also stays
    # open until the end, for the same reason.
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                             "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    try:
        number = os.read(read_end, 16).decode().strip()
        if not number:
            xvfb.kill()
            pytest.fail("Xvfb did not start")
        yield f":{number}"
        xvfb.terminate()
        xvfb.wait(timeout=10)
    finally:
        os.close(read_end)


@pytest.fixture(scope="session")
def display():
    """An X display for windows and message boxes: the caller's, else an Xvfb of our own."""
    if os.environ.get("DISPLAY"):
        yield os.environ["DISPLAY"]
        return
    with _xvfb() as name:
        os.environ["DISPLAY"] = name
        yield name
        del os.environ["DISPLAY"]


@pytest.fixture
def make_prefix(tmp_path, display):
    """make_prefix(version="win7") -> a fresh WinePrefix copied from that version's template,
    with a running wineserver; every prefix is stopped when the test ends."""
    made = []

    def make(version="win7"):
        prefix = WinePrefix.create(tmp_path / f"prefix-{version}-{len(made)}", version)
        made.append(prefix)
        return prefix

    yield make
    for prefix in made:
        prefix.stop_server()
        # A prefix is some 700 MB; a run makes dozens, more than a disk should keep.
        shutil.rmtree(prefix.path, ignore_errors=True)


@pytest.fixture
def prefix(make_prefix):
    return make_prefix("win7")


@pytest.fixture(scope="module")
def second_start_prefix(tmp_path_factory, display):
    """One prefix shared by a module's tests of refused second starts. Those runs end at the
    single-instance check, before the setup writes anything but its binary-log records (which
    carry the process id), so the tests cannot disturb each other, and a copy of the template per
    test would only cost time."""
    prefix = WinePrefix.create(tmp_path_factory.mktemp("second-start") / "prefix-win7", "win7")
    yield prefix
    prefix.stop_server()
    shutil.rmtree(prefix.path, ignore_errors=True)


@pytest.fixture(scope="session")
def installed_model(tmp_path_factory, display, setup_exe, tools):
    """A stopped win7 prefix after one default hidden install, made once per test process for the
    tests that start from a standard install, with the file list of the version folder that install
    made. No test changes it: `installed` gives each test a copy."""
    prefix = WinePrefix.create(tmp_path_factory.mktemp("installed") / "prefix", "win7")
    try:
        setup = SetupProcess(prefix, tools, setup_exe, HIDDEN_MODE)
        try:
            assert setup.wait(timeout=180) == EXIT_FINISHED, "the standard install"
        finally:
            setup.kill()
        files = file_list(version_folder(prefix))
        assert os.path.join("Bin", "Pelora.exe") in files, files
    finally:
        prefix.stop_server()
    yield prefix.path, files
    shutil.rmtree(prefix.path, ignore_errors=True)


@contextlib.contextmanager
def started_copy(model, path):
    """A started copy of a stopped model prefix, stopped and removed at the end."""
    prefix = WinePrefix.copy_of(model, path)
    try:
        yield prefix
    finally:
        prefix.stop_server()
        shutil.rmtree(prefix.path, ignore_errors=True)


@pytest.fixture
def installed(installed_model, tmp_path):
    """A started copy of the installed model, the test's own."""
    with started_copy(installed_model[0], tmp_path / "installed-prefix") as prefix:
        yield prefix


@pytest.fixture
def hold_mutex(tools):
    """hold_mutex(prefix, name) -> MutexHolder; released at the test's end at the latest."""
    holders = []

    def hold(prefix, name=SINGLE_INSTANCE_MUTEX):
        holder = MutexHolder(prefix, tools, name)
        holders.append(holder)
        return holder

    yield hold
    for holder in holders:
        holder.release()


@pytest.fixture
def start_setup(setup_exe, tools):
    """start_setup(prefix, *options, exe=None) -> SetupProcess: the setup (or another build of
    it, `exe`) running under exitcode.exe."""
    started = []

    def start(prefix, *options, exe=None):
        process = SetupProcess(prefix, tools, exe or setup_exe, options)
        started.append(process)
        return process

    yield start
    for process in started:
        process.kill()


@pytest.fixture
def run_setup(start_setup):
    """run_setup(prefix, *options, timeout=60) -> the setup's full exit code. A setup that does
    not end in time (a message box nobody answers) fails the test."""

    def run(prefix, *options, timeout=60, exe=None):
        process = start_setup(prefix, *options, exe=exe)
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            pytest.fail(f"the setup {' '.join(options)} did not end within {timeout} s")

    return run


@pytest.fixture
def window_list(tools):
    """window_list(prefix) -> WindowList of that prefix."""
    return lambda prefix: WindowList(prefix, tools)



@pytest.fixture
def own_screen():
    """A display of the test's own, for tests that click and photograph: parallel tests on one
    display would put their setup windows on the same spot, and a click could land on the other
    test's window. The name of the display (":N")."""
    with _xvfb() as name:
        yield name


@pytest.fixture
def screen_prefix(prefix, own_screen):
    """The test's prefix, whose programs show their windows on the test's own display."""
    prefix.env["DISPLAY"] = own_screen
    return prefix


@pytest.fixture
def setup_window(window_list):
    """setup_window(prefix, setup) -> e2e_screen.SetupWindow: the setup's window on the display of
    the prefix's programs (screen_prefix gives a prefix a display of its own)."""
    from e2e_screen import SetupWindow

    def find(prefix, setup, timeout=60):
        try:
            return SetupWindow(window_list(prefix), setup.pid, prefix.env["DISPLAY"], timeout)
        except AssertionError as error:
            # Whether the setup still runs tells a window that never came from a setup that ended.
            state = "still runs" if setup.running() else f"ended with {setup.wait(timeout=10)}"
            raise AssertionError(f"{error}; the setup {state}") from None

    return find


@pytest.fixture
def tmpfs(tmp_path):
    """tmpfs(name, size) -> a fresh tmpfs of `size` bytes below the test's folder, unmounted at the
    test's end; skips the test where this machine does not let it mount."""
    mounts = TmpfsMounts(tmp_path)

    def mount(name, size):
        point = mounts.mount(name, size)
        if point is None:
            pytest.skip("cannot mount a tmpfs here")
        return point

    yield mount
    mounts.close()


@pytest.fixture(scope="session")
def latency_tool():
    return _built("tools/msglatency.exe", "msglatency")
