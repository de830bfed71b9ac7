"""The public files in the product root (launcher, uninstaller, service and web component) are
written like the version folder's files: one held by a running program is moved aside and
replaced, and one that cannot be replaced ends the install with exit 1, naming the file, before
the shortcuts, the service and the product key are written again. The older file stays as it was."""

from e2e_product import EXIT_ABANDONED, EXIT_FINISHED, HIDDEN_MODE, install_log_messages as log_messages
from e2e_wine import FileHolder

OLDER_LAUNCHER = b"MZ an older launcher, still in use"


def windows(path, prefix):
    return "C:\\" + str(path.relative_to(prefix.path / "drive_c")).replace("/", "\\")


def launcher(prefix):
    return prefix.appdata / "Corvane" / "Pelora" / "App" / "PL.exe"


def count(messages, text):
    return sum(text in message for message in messages)


def test_a_launcher_held_without_sharing_fails_the_reinstall_and_names_it(prefix, run_setup, tools):
    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED
    path = launcher(prefix)
    path.write_bytes(OLDER_LAUNCHER)
    registered = count(log_messages(prefix), "WriteProtocalInfo 1")
    assert registered == 1

    with FileHolder(prefix, tools, windows(path, prefix), share="none"):
        assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_ABANDONED

    assert path.read_bytes() == OLDER_LAUNCHER
    messages = log_messages(prefix)
    target = windows(path, prefix)
    assert any(m.startswith("[日志] [CopyPublicFileToInstallDir] About to CopyFileW(")
               and m.endswith(f", {target}, FALSE):0\r\n") for m in messages), messages[-40:]
    # Nothing of the second run was registered: no second protocol entry, no second launch.
    assert count(messages, "WriteProtocalInfo 1") == registered


def test_a_launcher_held_by_a_running_program_is_moved_aside_and_replaced(prefix, run_setup, tools):
    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED
    path = launcher(prefix)
    installed = path.read_bytes()
    path.write_bytes(OLDER_LAUNCHER)

    with FileHolder(prefix, tools, windows(path, prefix), share="rd"):
        assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED

    assert path.read_bytes() == installed
    assert count(log_messages(prefix), "WriteProtocalInfo 1") == 2
