"""Command lines nobody should type, through the whole program: fifty generated lines (a fixed
seed) run one after another in one prefix. Each holds /mode:noui and no later mode, so no window
waits for a user; around it are options in any case and spelling, values with quotes, backslashes,
Chinese, surrogate pairs, lone surrogates and control characters, install folders valid and
invalid, values past MAX_PATH, 520 and (once) a command line of the full 32,766 characters, and
now and then an unbalanced quote at the end. Every run must end by itself with 0, 1 or -1 (never
an exception code, never a hang), leave no setup, debugger or crash reporter running, and when it
finished, the product must be in the folder the line names (or the default one). The last thirty
lines meet a newer installed version, which a hidden run refuses with -1 whatever the line holds.

The lines reach the setup exactly as generated: exitcode.exe reads each from a UTF-16 file
(Linux arguments could carry neither an unbalanced quote nor half a surrogate pair). The prefix
has no Z: drive, and the setup and the tool run from its C: drive, so whatever folder a line
names stays inside the prefix."""

import os
import random
import shutil
import time

import pytest

from e2e_product import EXIT_ABANDONED, EXIT_FINISHED, EXIT_NOT_STARTED, VERSION
from e2e_report import ReportServer
from e2e_wine import WinePrefix, signed32

SEED = 20261209
LINE_COUNT = 50
# The first lines install (a few seconds each); the others meet a newer installed version, which a
# hidden run refuses at once (under a second): fifty installs would take too long for the test
# command.
INSTALLING_LINES = 20
NEWER_VERSION = "9.0.0"
RUN_FOLDER = "pelora-run"  # C:\pelora-run holds the setup, exitcode.exe and the line of the run
# CreateProcess takes at most 32,767 characters with the closing NUL.
LONGEST_LINE = 32766
LONGEST_LINE_NUMBER = 11  # the line padded to exactly that length
RUN_TIMEOUT_MS = 90_000

BLANKS = " \t\n\v\f\r"
# What no folder name may hold besides control characters (a colon starts an NTFS stream name).
NOT_IN_NAMES = set('"*/:<>?\\|')
# Programs that must not outlive a run: the setup, Wine's debugger, the crash reporter, our runner.
WATCHED_PROGRAMS = ("PeloraSetup", "winedbg", "bugreport", "exitcode")


# ---- The lines --------------------------------------------------------------------------------

def quoted(argument, start=0):
    """The argument as Windows programs quote it: a quote escaped with a backslash, the
    backslashes before a quote (or the closing quote) doubled. The quotes may start mid-way."""
    text, backslashes = argument[:start] + '"', 0
    for c in argument[start:]:
        if c == "\\":
            backslashes += 1
            continue
        text += "\\" * (backslashes * 2 + 1 if c == '"' else backslashes) + c
        backslashes = 0
    return text + "\\" * (backslashes * 2) + '"'


class LineGenerator:
    """Command lines as (text, the arguments it holds). Folders are always below C:\\fuzz (or a
    folder next to it), never a folder of Windows itself, and no name is a device name (CON, COM1),
    which would lead out of the prefix to a port."""

    KNOWN = ["install_dir", "install_dir", "install_dir", "src", "uin", "lt", "startargs", "auto_start"]
    OTHERS = ["source", "uid", "autostart", "installdir", "install_dir ", " src", "loglevel", "logbuf", "ldd",
              "\u6a21\u5f0f", "m\u00f6de", "x"]

    def __init__(self, seed):
        self.random = random.Random(seed)

    def pick(self, choices):
        return self.random.choice(choices)

    def chance(self, percent):
        return self.random.random() * 100 < percent

    def text(self, length):
        out = []
        while len(out) < length:
            kind = self.random.randrange(100)
            if kind < 45:
                out.append(chr(0x20 + self.random.randrange(0x5F)))
            elif kind < 65:
                out.append(chr(0x4E00 + self.random.randrange(0x51A6)))
            elif kind < 72 and len(out) + 2 <= length:
                out += ["\ud83d", chr(0xDE00 + self.random.randrange(0x50))]
            elif kind < 78:
                out.append(chr(0xD800 + self.random.randrange(0x800)))  # half of a pair, alone
            elif kind < 84:
                out.append(self.pick(["\x01", "\x07", "\x1b", "\n", "\r", "\t", "\x7f"]))
            else:
                out.append(self.pick(['"', "\\", " ", "\\\"", "%", "&", "^", "'"]))
        return "".join(out)[:length]

    def length(self):
        kind = self.random.randrange(100)
        if kind < 80:
            return 1 + self.random.randrange(16)
        if kind < 92:
            return 16 + self.random.randrange(60)
        return self.pick([258, 259, 260, 261, 519, 520, 521, 2000])

    def folder_name(self):
        kind = self.random.randrange(100)
        if kind < 25:
            return self.pick(["Pelora", "Program Files", "\u6620\u5f69\u76f4\u64ad", "Apps.", "Apps ", "a.b", ".hidden",
                              "\ud83d\ude00", "\ud800", "\udc00x", "x" * 120])
        if kind < 33:
            return self.pick([".", "..", " ", ". .", "", "a?b", "a*b", "a|b", "a<b", "a\"b", "a:b", "a\x01b"])
        out = []
        for _ in range(1 + self.random.randrange(12)):
            pick = self.random.randrange(10)
            if pick < 6:
                out.append(chr(ord("a") + self.random.randrange(26)))
            elif pick < 8:
                out.append(chr(0x4E00 + self.random.randrange(0x51A6)))
            elif pick < 9:
                out.append(self.pick([" ", ".", "-", "_", "'", "#", "\u00e9", "\ud840\udc0b"]))
            else:
                out.append(chr(0xD800 + self.random.randrange(0x800)))
        return "".join(out)

    def folder(self):
        drive = self.random.randrange(100)
        path = ("C:" if drive < 75 else "c:" if drive < 82 else self.pick(["Z:", "D:", "Q:"]) if drive < 92
                else self.pick(["", "\\\\server\\share", "\\\\?\\C:", "relative", "C:relative"]))
        # Every folder below one of our own, so that no line names a folder of Windows itself.
        path += "\\" + self.pick(["fuzz", "Fuzz", "fuzz \u4e2d"])
        for _ in range(self.random.randrange(4)):
            path += (self.pick(["\\\\", "/"]) if self.chance(4) else "\\") + self.folder_name()
        if self.chance(12):
            path += "\\" + "p" * max(1, 257 + self.random.randrange(5) - len(path) - 1)
        if self.chance(20):
            path += self.pick(["\\", "\\", "\\\\", "/", "\\.", "\\ "])
        if self.chance(12):
            path = self.pick([" ", "\t", " \t", "\n"]) + path
        if self.chance(12):
            path += self.pick([" ", "\t", "\r\n", "\x0b"])
        return path

    def value(self, name):
        if name.startswith("install_dir"):
            return self.folder() if self.chance(90) else self.text(self.length())
        if name == "auto_start":
            return self.pick(["true", "false", "TRUE", "False", "yes", "0"])
        if name in ("mode", "silent"):
            return self.pick(["fast", "noui", "normal", "FAST", "1", "01", "2", ""])
        return self.text(self.length())

    def option(self, mode_allowed):
        if self.chance(8):
            return self.text(self.length())
        if mode_allowed and self.chance(15):
            name = self.pick(["mode", "silent", "MODE", "Silent"])
        elif self.chance(75):
            name = self.pick(self.KNOWN)
        else:
            name = self.pick(self.OTHERS)
        name = "".join(c.upper() if self.chance(30) else c for c in name)
        return "/" + name + ":" + self.value(name.lower())

    def encoded(self, argument):
        if argument and not any(c in argument for c in ' \t"') and not self.chance(10):
            return argument
        colon = argument.find(":")
        plain_key = colon > 0 and not any(c in argument[:colon] for c in ' \t"')
        return quoted(argument, colon + 1 if plain_key and self.chance(50) else 0)

    def tail(self):
        """Text after the last option that holds no colon, so it can be no option whatever its
        quotes do: an unbalanced quote, stray backslashes, blanks."""
        pieces = ['"', '"\\', '\\"', '""', '"unterminated \u4e2d', "\\\\\\", "\t\"", "tail \ud800"]
        return "".join(self.pick(pieces) for _ in range(1 + self.random.randrange(3)))

    def line(self, pad_to=None):
        program = f"C:\\{RUN_FOLDER}\\PeloraSetup.exe"
        arguments = [self.option(True) for _ in range(self.random.randrange(6))]
        arguments.append(self.pick(["/mode:noui", "/MODE:NoUi", "/Mode:NOUI"]))
        arguments += [self.option(False) for _ in range(self.random.randrange(3))]
        if pad_to:
            arguments.append("/lt:")
        parts = [quoted(program) if self.chance(50) else program] + [self.encoded(a) for a in arguments]
        text = " ".join(parts)
        if pad_to:
            arguments[-1] += "x" * (pad_to - len(text))
            text += "x" * (pad_to - len(text))
        elif self.chance(25):
            text += " " + self.tail()
        return text, [program] + arguments


def generated_lines(generator, count):
    """`count` lines that CreateProcess can start; the one numbered LONGEST_LINE_NUMBER is padded
    to the longest it takes."""
    lines = []
    while len(lines) < count:
        if len(lines) == LONGEST_LINE_NUMBER:
            lines.append(generator.line(pad_to=LONGEST_LINE))
            continue
        text, arguments = generator.line()
        if len(text) <= LONGEST_LINE:
            lines.append((text, arguments))
    return lines


# ---- What the setup should make of a line --------------------------------------------------------

def accepted_folder(value):
    """The folder an /install_dir value names, or None when the setup must refuse it: a full path
    on C: (the prefix's only drive), shorter than MAX_PATH, whose names are real names."""
    path = value.strip(BLANKS)
    if len(path) >= 260 or len(path) < 4 or path[0] not in "Cc" or path[1:3] != ":\\":
        return None
    folder = path[:-1] if path.endswith("\\") else path
    for name in folder[3:].split("\\"):
        if not name.strip(". ") or any(ord(c) < 32 or c in NOT_IN_NAMES for c in name):
            return None
    return folder


def install_folder(arguments):
    """The folder of the last /install_dir the setup keeps; None for the default one."""
    folder = None
    for argument in arguments[1:]:
        name, colon, value = argument[1:].partition(":")
        if argument.startswith("/") and colon and name.lower() == "install_dir" and value:
            folder = accepted_folder(value) or folder
    return folder


def readable(text, keep=160):
    shown = text if len(text) <= keep else f"{text[:keep]}...[{len(text)} characters]"
    return ascii(shown)


# ---- The runs -----------------------------------------------------------------------------------

@pytest.fixture
def sealed_prefix(tmp_path, display, setup_exe, tools):
    """A prefix without a Z: drive whose C:\\pelora-run holds the setup and exitcode.exe, with a
    report server on loopback as the setup's telemetry peer."""
    prefix = WinePrefix.create(tmp_path / "prefix-win7", "win7")
    server = ReportServer(tmp_path, "ack")
    try:
        # Removed before any Windows program of the prefix has run, so nothing has it open.
        (prefix.path / "dosdevices" / "z:").unlink()
        run_folder = prefix.path / "drive_c" / RUN_FOLDER
        run_folder.mkdir()
        shutil.copy(setup_exe, run_folder)
        shutil.copy(tools.path("exitcode"), run_folder)
        prefix.env["PELORA_REPORT_SERVER"] = server.address
        # The runner works from C:, and Z: is gone for the programs of the prefix.
        assert run_line(prefix, "C:\\windows\\system32\\cmd.exe /c dir Z:\\") == 1
        yield prefix
    finally:
        server.stop()
        prefix.stop_server()
        shutil.rmtree(prefix.path, ignore_errors=True)


def run_line(prefix, text):
    """Runs one line under exitcode.exe; the setup's exit code, or "timeout"."""
    (prefix.path / "drive_c" / RUN_FOLDER / "line.txt").write_bytes(text.encode("utf-16-le", "surrogatepass"))
    process = prefix.popen(prefix.path / "drive_c" / RUN_FOLDER / "exitcode.exe", f"--timeout={RUN_TIMEOUT_MS}",
                           f"--command-file=C:\\{RUN_FOLDER}\\line.txt", cwd=prefix.caller_folder)
    process.wait(timeout=RUN_TIMEOUT_MS / 1000 + 30)
    words = process.stdout().decode(errors="replace").split()
    if process.returncode == 3:
        return "timeout"
    assert process.returncode == 0 and len(words) >= 3 and words[0] == "pid", \
        f"exitcode.exe could not run the line ({process.returncode}): {words} {process.stderr()[-300:]!r}"
    return signed32(int(words[-1]))


def watched_processes(prefix):
    """Command lines of the prefix's processes that are the setup, a debugger, a crash reporter or
    our runner: none may outlive a run."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as environ:
                if f"WINEPREFIX={prefix.path}".encode() not in environ.read().split(b"\0"):
                    continue
            with open(f"/proc/{pid}/cmdline", "rb") as cmdline:
                command = cmdline.read().replace(b"\0", b" ").decode(errors="replace")
        except OSError:
            continue
        if any(name.lower() in command.lower() for name in WATCHED_PROGRAMS):
            found.append(command.strip())
    return found


def linux_path(prefix, windows_folder):
    """The Linux path of a folder on C:, each name matched without regard to case as Wine does;
    None where a name holds half of a surrogate pair alone, whose Unix name is Wine's business."""
    try:
        names = windows_folder[3:].encode("utf-16-le", "surrogatepass").decode("utf-16-le").split("\\")
    except UnicodeDecodeError:
        return None
    path = prefix.path / "drive_c"
    for name in names:
        if path.is_dir() and not (path / name).exists():
            same = [entry for entry in os.listdir(path) if entry.lower() == name.lower()]
            name = same[0] if same else name
        path = path / name
    return path


def test_fifty_generated_command_lines_end_cleanly(sealed_prefix, fault_row):
    row = fault_row("50 generated command lines, whole program",
                    f"seed {SEED}: options in any case and spelling, quotes, Chinese, surrogate pairs and lone halves, "
                    "control characters, folders valid and not, values past 260/520, one 32,766-character line, "
                    f"unbalanced quotes at the end; one prefix without Z:, lines read from a UTF-16 file; the last "
                    f"{LINE_COUNT - INSTALLING_LINES} against a newer installed version",
                    "exit 0, 1 or -1 only (-1 against the newer version); no hang; no setup, winedbg or reporter "
                    "left; a finished run installed into the folder its line names (or the default)")
    prefix = sealed_prefix
    lines = generated_lines(LineGenerator(SEED), LINE_COUNT)
    assert len(lines[LONGEST_LINE_NUMBER][0]) == LONGEST_LINE
    default_root = prefix.appdata / "Corvane" / "Pelora" / "App"

    codes, seconds, problems, own_folders = {}, {}, [], 0
    for number, (text, arguments) in enumerate(lines):
        if number == INSTALLING_LINES:
            prefix.reg_add(r"HKCU\SOFTWARE\Corvane\Pelora", "Version", NEWER_VERSION)
        group = "installing" if number < INSTALLING_LINES else "newer"
        started = time.monotonic()
        code = run_line(prefix, text)
        seconds[group] = seconds.get(group, 0.0) + time.monotonic() - started
        found = codes.setdefault(group, {})
        found[code] = found.get(code, 0) + 1
        where = f"line {number} (seed {SEED}) {readable(text)}"
        allowed = (EXIT_FINISHED, EXIT_ABANDONED, EXIT_NOT_STARTED) if group == "installing" else (EXIT_NOT_STARTED,)
        if code not in allowed:
            problems.append(f"{where}: exit {code}")
        left = watched_processes(prefix)
        if left:
            problems.append(f"{where}: left running {left}")
        folder = install_folder(arguments)
        if code == EXIT_FINISHED:
            root = default_root if folder is None else linux_path(prefix, folder)
            own_folders += folder is not None and root is not None
            if root is not None and not (root / VERSION / "Bin" / "PL.exe").exists():
                problems.append(f"{where}: finished, but no {root / VERSION / 'Bin' / 'PL.exe'}")

    # A code is a number or "timeout".
    counts = {group: ", ".join(f"exit {code} x{count}" for code, count in sorted(found.items(), key=str))
              for group, found in codes.items()}
    summary = "; ".join(f"{group}: {counts[group]} in {seconds[group]:.0f} s" for group in codes)
    row.observed(f"{summary}; {own_folders} finished into the line's own folder")
    assert not problems, "\n".join(problems)
    assert not (prefix.path / "dosdevices" / "z:").exists(), "Z: came back during the runs"
    # The lines must have reached both ends of the install: finished runs, into folders of their own.
    assert codes["installing"].get(EXIT_FINISHED, 0) >= 5 and own_folders >= 3, summary
