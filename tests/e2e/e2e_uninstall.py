"""The installed uninstaller as a user's system starts it, and before/after pictures of a prefix
(its files and its registry) to show what a run changed."""

import os
import re
from pathlib import Path

from e2e_product import product_root
from e2e_wine import signed32

UNINSTALLER = "PeloraUninst.exe"
REGISTRY_FILES = ("system.reg", "user.reg", "userdef.reg")
# What Wine itself changes in a prefix whenever programs run: display and device records, the
# shell's recent lists, its own settings, the console defaults its console programs write and the
# time stamps of its font cache.
WINE_NOISE = re.compile(
    r"^\[(System\\\\CurrentControlSet\\\\(Control\\\\Class|Enum|Control\\\\Video|Hardware Profiles)"
    r"|Software\\\\Wine|Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer"
    r"|Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\(Fonts|Perflib)"
    r"|Console\b|Hardware\\\\|System\\\\CurrentControlSet\\\\Services\\\\(EventLog|Tcpip|winebus|Winsock))",
    re.IGNORECASE)


def installed_uninstaller(prefix):
    """C: path of the uninstaller in the product root, as the uninstall entry names it."""
    return f"C:\\users\\{prefix.user}\\AppData\\Roaming\\Corvane\\Pelora\\App\\{UNINSTALLER}"


def run_uninstaller(prefix, tools, *options, timeout=120, program=None):
    """Runs the uninstaller (by default the installed one) under exitcode.exe and returns its full
    exit code."""
    process = prefix.popen(tools.path("exitcode"), program or installed_uninstaller(prefix), *options,
                           cwd=prefix.caller_folder)
    process.wait(timeout=timeout)
    lines = process.stdout().decode(errors="replace").split()
    if process.returncode != 0 or not lines:
        raise RuntimeError(f"exitcode.exe failed ({process.returncode}): {lines} {process.stderr()!r}")
    return signed32(int(lines[-1]))


class UninstallerProcess:
    """The installed uninstaller started by its C: path under exitcode.exe, left running (its
    window waits for a person)."""

    def __init__(self, prefix, tools, *options):
        self._prefix = prefix
        self._process = prefix.popen(tools.path("exitcode"), installed_uninstaller(prefix), *options,
                                     cwd=prefix.caller_folder)
        line = self._process.line(0) or ""
        if not re.fullmatch(r"pid (\d+)", line):
            self._process.kill()
            raise RuntimeError(f"exitcode.exe could not start the uninstaller: {line!r}")
        self.pid = int(line.split()[1])

    def running(self):
        return self._process.poll() is None

    def wait(self, timeout=60):
        self._process.wait(timeout=timeout)
        lines = self._process.stdout().decode(errors="replace").split()
        return signed32(int(lines[-1]))

    def kill(self):
        self._process.kill()


def retired_uninstallers(prefix):
    """What the installed uninstaller left of itself: running, its file cannot go, so it leaves
    its name at once ("PeloraUninst.exe~" and sixteen hexadecimal digits) and goes at the next start."""
    root = prefix.appdata / "Corvane" / "Pelora" / "App"
    return sorted(p.name for p in root.glob(UNINSTALLER + "~*")) if root.is_dir() else []


def next_start(prefix):
    """The prefix's next start: Wine carries out the deletions pending for it."""
    prefix.run("wineboot", "-r", timeout=120)


def _in_prefix(pid, prefix):
    try:
        environ = Path(f"/proc/{pid}/environ").read_bytes().split(b"\0")
    except OSError:
        return False
    return f"WINEPREFIX={prefix.path}".encode() in environ


def file_picture(prefix):
    """{path below drive_c: (size, modification time)}; folders end in "/"."""
    picture = {}
    root = prefix.path / "drive_c"
    for folder, folders, files in os.walk(root):
        relative = os.path.relpath(folder, root)
        for name in folders:
            picture[os.path.normpath(os.path.join(relative, name)) + "/"] = None
        for name in files:
            path = os.path.join(folder, name)
            stat = os.lstat(path)
            picture[os.path.normpath(os.path.join(relative, name))] = (stat.st_size, stat.st_mtime_ns)
    return picture


def registry_picture(prefix):
    """Every key and value line of the prefix's registry files, without Wine's own noise. The
    server is stopped so that the files are written, and started again."""
    prefix.stop_server()
    lines = set()
    for name in REGISTRY_FILES:
        key = None
        for line in (prefix.path / name).read_text(encoding="utf-8", errors="replace").splitlines():
            if line.startswith("["):
                key = line.split("]")[0] + "]"
                lines.add((name, key, ""))
            elif key and line and not line.startswith(("#", "@time")) and not WINE_NOISE.match(key):
                lines.add((name, key, line))
    prefix.start_server()
    return {line for line in lines if not WINE_NOISE.match(line[1])}


def picture(prefix):
    return file_picture(prefix), registry_picture(prefix)


def differences(before, after, allowed=()):
    """What changed between two pictures, as readable lines, leaving out files and keys that match
    one of the `allowed` patterns."""
    files_before, keys_before = before
    files_after, keys_after = after
    changed = []
    for path in sorted(set(files_before) | set(files_after)):
        if files_before.get(path, "absent") != files_after.get(path, "absent") and \
                not any(re.search(pattern, path) for pattern in allowed):
            state = "added" if path not in files_before else "removed" if path not in files_after else "changed"
            changed.append(f"file {state}: {path}")
    for line in sorted(keys_before ^ keys_after):
        if not any(re.search(pattern, line[1] + line[2]) for pattern in allowed):
            changed.append(f"registry {'added' if line in keys_after else 'removed'}: {line[0]} {line[1]} {line[2]}")
    return changed


def user_data_folder(prefix):
    return product_root(prefix) / "1.14.301" / "Users"


def add_user_data(prefix):
    """What the client writes for a user: a few files below the version folder's Users. Returns
    {path: bytes}."""
    data = {}
    for relative, content in (("1001/history.db", os.urandom(40000)), ("1001/设置.ini", "音量=80\n".encode()),
                              ("face.png", os.urandom(3000))):
        path = user_data_folder(prefix) / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)
        data[path] = content
    return data


def assert_no_differences(before, after, allowed=()):
    changed = differences(before, after, allowed)
    assert not changed, "the prefix changed:\n" + "\n".join(changed)
