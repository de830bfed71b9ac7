"""Wine prefixes for the end-to-end tests: a fresh copy of a template per test, with a detached
wineserver of its own, and the registry, files and windows inside it as a test sees them."""

import json
import os
import re
import signal
import subprocess
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SCRIPTS = ROOT / "scripts"


def _wine_environment():
    """The variables scripts/wine-env.sh sets, so Python and the shell scripts agree on the
    loader, the architecture and the template folder."""
    out = subprocess.run(
        ["bash", "-c", f"source '{SCRIPTS}/wine-env.sh' && env -0"],
        check=True, capture_output=True).stdout.decode()
    env = dict(item.split("=", 1) for item in out.split("\0") if "=" in item)
    keep = ("PELORA_WINE", "PELORA_TEST_ARCH", "PELORA_WINE_TEMPLATES", "WINEARCH", "WINEDEBUG",
            "WINEDLLOVERRIDES")
    result = {name: env[name] for name in keep if name in env}
    # Wine converts command-line text with the locale's character set; Chinese texts in
    # arguments need a UTF-8 locale.
    locale = os.environ.get("LC_ALL") or os.environ.get("LC_CTYPE") or os.environ.get("LANG", "")
    if "UTF-8" not in locale.upper().replace("UTF8", "UTF-8"):
        result["LC_ALL"] = "C.UTF-8"
        result["LANG"] = "C.UTF-8"
    return result


WINE_ENV = _wine_environment()
TEST_ARCH = WINE_ENV["PELORA_TEST_ARCH"]
WINE = WINE_ENV["PELORA_WINE"]


def template(version):
    """Path of the template prefix of a Windows version, made on first use in this run."""
    out = subprocess.run([str(SCRIPTS / "wine-prefix.sh"), version], check=True,
                         capture_output=True, text=True, env={**os.environ, **WINE_ENV},
                         timeout=300)
    return Path(out.stdout.strip().splitlines()[-1])


def windows_path(path):
    """The Z: path under which a Linux path appears inside Wine."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def signed32(value):
    value &= 0xFFFFFFFF
    return value - (1 << 32) if value & 0x80000000 else value


class WinePrefix:
    """One prefix made from a template, with its own wineserver while the test runs."""

    def __init__(self, path, version):
        self.path = Path(path)
        self.version = version
        self.env = {**os.environ, **WINE_ENV, "WINEPREFIX": str(self.path)}
        self._server = None

    # --- life cycle ------------------------------------------------------------------------
    @classmethod
    def create(cls, path, version):
        subprocess.run([str(SCRIPTS / "wine-copy-prefix.sh"), str(path), version], check=True,
                       capture_output=True, env={**os.environ, **WINE_ENV}, timeout=300)
        prefix = cls(path, version)
        prefix.start_server()
        return prefix

    @classmethod
    def copy_of(cls, model, path, version="win7"):
        """A started copy of a stopped prefix that a fixture made once (an installed model)."""
        subprocess.run(["cp", "-a", str(model), str(path)], check=True, timeout=300)
        prefix = cls(path, version)
        prefix.start_server()
        return prefix

    def _server_ready(self):
        # The server changes into its own folder once its socket is made there; where that
        # folder lies differs between Wine builds, so it is found through the process.
        try:
            return (Path(os.readlink(f"/proc/{self._server.pid}/cwd")) / "socket").exists()
        except OSError:
            return False

    def start_server(self):
        """A persistent, detached wineserver, so that kernel objects (the single-instance mutex)
        live across the processes of one test and no inherited pipe keeps pytest waiting."""
        self._server = subprocess.Popen(
            ["wineserver", "-f", "-p"], env=self.env, stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        deadline = time.monotonic() + 10
        while not self._server_ready():
            if self._server.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f"wineserver for {self.path} did not start")
            time.sleep(0.05)

    def stop_server(self):
        """Ends every Windows process of the prefix and the server (the registry is saved)."""
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=30)
        if self._server is not None:
            try:
                self._server.wait(timeout=15)
            except subprocess.TimeoutExpired:
                os.killpg(self._server.pid, signal.SIGKILL)
                self._server.wait()
            self._server = None

    # --- running programs --------------------------------------------------------------------
    def popen(self, *args, cwd=None):
        """The program runs in `cwd` (a Linux folder), else in the caller's current folder."""
        return WineProcess([WINE, *map(str, args)], self.env, self.path.parent, cwd)

    @property
    def caller_folder(self):
        """C:\\caller, the current folder of the setup as a calling program starts it: inside the
        prefix, so that a relative path the setup may write lands in the prefix too."""
        folder = self.path / "drive_c" / "caller"
        folder.mkdir(exist_ok=True)
        return folder

    def run(self, *args, timeout=60, check=False):
        """Runs a Windows program to its end; returncode is the low byte of its exit code."""
        process = self.popen(*args)
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            raise
        result = subprocess.CompletedProcess(process.args, process.returncode, process.stdout(),
                                             process.stderr())
        if check:
            result.check_returncode()
        return result

    # --- files ---------------------------------------------------------------------------------
    @property
    def user(self):
        users = [d.name for d in (self.path / "drive_c" / "users").iterdir()
                 if d.is_dir() and d.name != "Public"]
        for name in (os.environ.get("USER"), os.environ.get("LOGNAME")):
            if name in users:
                return name
        return sorted(users)[0]

    @property
    def appdata(self):
        """%APPDATA%, the roaming application-data folder of the prefix's user."""
        return self.path / "drive_c" / "users" / self.user / "AppData" / "Roaming"

    def unix_path(self, windows):
        """Linux path of a C: or Z: path inside the prefix."""
        drive, rest = windows[0].upper(), windows[2:].replace("\\", "/").lstrip("/")
        if drive == "Z":
            return Path("/") / rest
        return self.path / "dosdevices" / f"{drive.lower()}:" / rest

    # --- registry -------------------------------------------------------------------------
    def reg_add(self, key, name, data, kind="REG_SZ"):
        self.run("reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f", check=True)

    def reg_query(self, key, name):
        """The value's data as text (ASCII only: `reg query` prints other characters as "?"),
        or None when the key or the value does not exist."""
        out = self.run("reg", "query", key, "/v", name)
        if out.returncode != 0:
            return None
        for line in out.stdout.decode(errors="replace").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0].lower() == name.lower() and parts[1].startswith("REG_"):
                return parts[2] if len(parts) == 3 else ""
        return None

    def reg_export(self, key):
        """The key in .reg text (decoded from UTF-16LE, so Chinese survives), or None."""
        target = self.path / "drive_c" / "export.reg"
        target.unlink(missing_ok=True)
        out = self.run("reg", "export", key, "C:\\export.reg", "/y")
        if out.returncode != 0 or not target.exists():
            return None
        text = target.read_bytes().decode("utf-16")
        target.unlink()
        return text


class WineProcess:
    """A Windows program started through the Wine loader. Its output goes to files, not pipes:
    Wine's helper processes (services, the desktop's explorer.exe) that the first programs of a
    prefix start inherit their output handles and would keep a pipe open long after the program
    ended."""

    def __init__(self, args, env, folder, cwd=None):
        self.args = args
        out = tempfile.NamedTemporaryFile(dir=folder, prefix="stdout-", delete=False)
        err = tempfile.NamedTemporaryFile(dir=folder, prefix="stderr-", delete=False)
        self._out_path, self._err_path = Path(out.name), Path(err.name)
        with out, err:
            self._popen = subprocess.Popen(args, env=env, stdin=subprocess.DEVNULL, stdout=out,
                                           stderr=err, cwd=cwd)

    @property
    def returncode(self):
        return self._popen.returncode

    def poll(self):
        return self._popen.poll()

    def wait(self, timeout=None):
        return self._popen.wait(timeout=timeout)

    def kill(self):
        if self._popen.poll() is None:
            self._popen.kill()
            self._popen.wait()

    def stdout(self):
        return self._out_path.read_bytes()

    def stderr(self):
        return self._err_path.read_bytes()

    def line(self, index, timeout=30):
        """Line number `index` (from 0) of the output, waiting for it while the program runs;
        None when the program ended without writing it."""
        deadline = time.monotonic() + timeout
        while True:
            ended = self._popen.poll() is not None
            lines = self.stdout().decode("utf-8", errors="replace").split("\n")
            if len(lines) > index + 1:  # the line is complete
                return lines[index].rstrip("\r")
            if ended:
                return None
            if time.monotonic() > deadline:
                raise subprocess.TimeoutExpired(self.args, timeout)
            time.sleep(0.05)


class Tools:
    """The test-only Windows programs of tools/ (winlist, mutexhold, exitcode, holdfile, volatilekey)."""

    def __init__(self, folder):
        self.folder = Path(folder)

    def path(self, name):
        return self.folder / f"{name}.exe"


class MutexHolder:
    """mutexhold.exe holding a named mutex in a prefix until release() (or the test's end)."""

    def __init__(self, prefix, tools, name, seconds=180):
        self._flag = prefix.path / "drive_c" / f"release-{abs(hash(name))}"
        self._flag.unlink(missing_ok=True)
        # A mutex let go by a process that has just ended can outlive it for a moment in the
        # wineserver; mutexhold then finds it still there and ends with 1 without a word.
        for attempt in range(5):
            self._process = prefix.popen(tools.path("mutexhold"), name,
                                         "--until-file=C:\\" + self._flag.name, f"--seconds={seconds}")
            first = self._process.line(0)
            if first is not None or self._process.wait(timeout=15) != 1:
                break
            time.sleep(0.5)
        if first != "ready":
            self._process.kill()
            raise RuntimeError(f"mutexhold did not take {name}: {first!r} "
                               f"{self._process.stderr().decode(errors='replace')}")

    def release(self):
        if self._process.poll() is None:
            self._flag.touch()
            self._process.wait(timeout=15)


class WindowList:
    """Top-level windows of the prefix's processes, as winlist.exe reports them."""

    def __init__(self, prefix, tools):
        self._prefix = prefix
        self._tools = tools

    def find(self, caption=None, text=None, pid=None, wait_ms=0, press=None, hidden=False):
        args = [self._tools.path("winlist"), "--json"]
        if caption is not None:
            args.append(f"--caption={caption}")
        if text is not None:
            args.append(f"--text={text}")
        if pid is not None:
            args.append(f"--pid={pid}")
        if wait_ms:
            args.append(f"--wait={wait_ms}")
        if press is not None:
            args.append(f"--press={press}")
        if hidden:
            args.append("--all")
        out = self._prefix.run(*args, timeout=wait_ms / 1000 + 30)
        return [json.loads(line) for line in out.stdout.decode("utf-8").splitlines()
                if line.startswith("{")]


# Programs that Wine itself runs in a prefix, and the test's watcher of the setup.
_WINE_PROGRAMS = {"services.exe", "winedevice.exe", "plugplay.exe", "svchost.exe", "rpcss.exe", "explorer.exe",
                  "wineboot.exe", "conhost.exe", "wineserver", "wineserver64", "exitcode.exe"}


def _prefix_processes(prefix):
    """(Linux process id, program as the process names it, start time) of each running process
    of the prefix."""
    wanted = f"WINEPREFIX={prefix.path}".encode()
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if wanted not in (entry / "environ").read_bytes().split(b"\0"):
                continue
            program = (entry / "cmdline").read_bytes().split(b"\0")[0].decode(errors="replace")
            if program:  # a process that has ended has no command line
                yield int(entry.name), program, _start_time(int(entry.name))
        except (OSError, ValueError):
            continue  # ended meanwhile


def _start_time(linux_pid):
    """When the process started, in clock ticks since the boot."""
    stat = Path(f"/proc/{linux_pid}/stat").read_text()
    return int(stat[stat.rindex(")") + 2:].split()[19])


class SetupProcess:
    """PeloraSetup.exe started the way a calling program starts it, watched by exitcode.exe so
    that the full 32-bit exit code is seen."""

    def __init__(self, prefix, tools, exe, args):
        self._prefix = prefix
        self._exe = Path(exe)
        # On a loaded machine Wine now and then fails to start exitcode.exe itself: it ends without
        # a word, before the setup was started. That start is made once more; anything exitcode.exe
        # said (a refused start of the setup among it) ends the test.
        for attempt in (1, 2):
            self._process = prefix.popen(tools.path("exitcode"), windows_path(exe), *args,
                                         cwd=prefix.caller_folder)
            line = self._process.line(0)
            if line is not None or self._process.stdout() or self._process.stderr() or attempt == 2:
                break
        match = re.fullmatch(r"pid (\d+)", line or "")
        if not match:
            self._process.kill()
            raise RuntimeError(f"exitcode.exe could not start the setup: {line!r} "
                               f"{self._process.stderr().decode(errors='replace')} "
                               f"(Wine's exit status {self._process.poll()})")
        self.pid = int(match.group(1))

    def running(self):
        return self._process.poll() is None

    def wait(self, timeout=60):
        """The setup's exit code as a signed 32-bit number (-1 for a refused start)."""
        self._process.wait(timeout=timeout)
        out, err = self._process.stdout(), self._process.stderr()
        lines = out.decode().split()
        if self._process.returncode != 0 or not lines:
            raise RuntimeError(f"exitcode.exe failed ({self._process.returncode}): "
                               f"{out!r} {err!r}")
        return signed32(int(lines[-1]))

    def linux_pid(self):
        """The Linux process that runs the setup (Wine runs each Windows process as one). None
        once it has ended."""
        name = "\\" + self._exe.name.lower()
        for pid, program, _ in _prefix_processes(self._prefix):
            if program.lower().replace("/", "\\").endswith(name):
                return pid
        return None

    def kill_at_once(self, linux_pid):
        """Ends the setup (its Linux process, linux_pid()) and the programs it started with
        SIGKILL, as a power cut would: no code of theirs runs any more. Wine's own processes of
        the prefix (services, the desktop) stay. Returns the exit code exitcode.exe then reports
        for the setup and the names of the other programs ended."""
        started = _start_time(linux_pid)
        os.kill(linux_pid, signal.SIGKILL)
        ended = []
        for pid, program, start in _prefix_processes(self._prefix):
            name = program.replace("/", "\\").rsplit("\\", 1)[-1].lower()
            if pid == linux_pid or start < started or name in _WINE_PROGRAMS:
                continue
            try:
                os.kill(pid, signal.SIGKILL)
                ended.append(name)
            except ProcessLookupError:
                pass
        return self.wait(timeout=30), sorted(ended)

    def kill(self):
        """Ends a setup that is still running (and the exitcode.exe watching it), so that a
        failed test leaves nothing behind in a prefix that other tests share."""
        if self._process.poll() is None:
            self._prefix.run("taskkill", "/f", "/pid", str(self.pid), timeout=30)
            try:
                self._process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        self._process.kill()


class FileHolder:
    """holdfile.exe keeping a file open with the given sharing, as a context manager."""

    def __init__(self, prefix, tools, windows_file, share="r", seconds=300):
        self._flag = prefix.path / "drive_c" / f"close-{abs(hash(windows_file))}"
        self._flag.unlink(missing_ok=True)
        self._process = prefix.popen(tools.path("holdfile"), windows_file, f"--share={share}",
                                     "--until-file=C:\\" + self._flag.name, f"--seconds={seconds}")
        first = self._process.line(0)
        if first != "ready":
            self._process.kill()
            raise RuntimeError(f"holdfile could not open {windows_file}: {first!r} "
                               f"{self._process.stderr().decode(errors='replace')}")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self._process.poll() is None:
            self._flag.touch()
            self._process.wait(timeout=15)
