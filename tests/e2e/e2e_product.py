"""What the setup program shows and uses, as a calling program, a user or the machine sees it."""

from e2e_log import parse

SINGLE_INSTANCE_MUTEX = "D85199AA-8568-486B-AE9A-93F9B4743BA6"
MESSAGE_CAPTION = "岚拓映彩直播安装向导"
ALREADY_RUNNING_TEXT = "岚拓映彩直播安装程序已经在运行。"
OS_TOO_OLD_TEXT = "操作系统版本太低，安装无法继续。"

VERSION = "1.14.301"
PRODUCT_KEY = r"HKCU\SOFTWARE\Corvane\Pelora"
# The files the setup copies from the version folder into the product root.
PUBLIC_FILES = ("PeloraUninst.exe", "PL.exe", "VTService.dll", "WebAPI.dll")
MANIFEST_NAME = "PeloraInstall.xml"

# Exit codes of the process.
EXIT_FINISHED = 0
EXIT_ABANDONED = 1
EXIT_NOT_STARTED = -1

# The message boxes are MB_OK boxes: their button has the id IDOK.
IDOK = 1

# Modes that show message boxes, as the options that select them.
INTERACTIVE_MODES = {"normal": (), "fast": ("/mode:fast",), "silent-1": ("/silent:1",)}
HIDDEN_MODE = ("/mode:noui",)


def install_log_path(prefix):
    """%APPDATA%\\Corvane\\Logs\\PeloraInstall.txt of the prefix's user."""
    return prefix.appdata / "Corvane" / "Logs" / "PeloraInstall.txt"


def install_log_messages(prefix):
    """The messages of the prefix's install log, without their stamps, in order."""
    return [line.message for line in parse(install_log_path(prefix).read_bytes())]


def product_root(prefix):
    """%APPDATA%\\Corvane\\Pelora\\App, the default product root."""
    return prefix.appdata / "Corvane" / "Pelora" / "App"


def version_folder(prefix):
    """The default version folder below the product root."""
    return product_root(prefix) / VERSION


def file_list(folder):
    """The files below `folder`, as sorted relative paths."""
    return sorted(str(p.relative_to(folder)) for p in folder.rglob("*") if p.is_file())


def windows_path_in(prefix, path):
    """The C: path under which a path below the prefix's drive_c appears inside Wine."""
    return "C:\\" + str(path.relative_to(prefix.path / "drive_c")).replace("/", "\\")
