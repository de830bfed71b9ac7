"""The key-press service runs as LocalSystem, so the library it loads must lie where only the
system and administrators can write: a hidden install copies the product root's VTService.dll into
"<Program Files>\\PeloraService", gives that folder a protected access list (SYSTEM and
Administrators full control, Users read and run, owner Administrators), reads the list back, and
registers the copy only when the list read back keeps everybody else out and the copy's bytes are
the archive's. The service never runs a file below C:\\users, which every program of the user can
replace. The uninstaller takes the service, the library and the folder.

What Wine cannot make real: Wine 8 keeps no access lists on files. It keeps Unix permission bits
(set from the list the program asks for), stores no "user.wine.sd" attribute, and reports a list
made from the bits: the Unix owner with full control, SYSTEM, and everybody for the "other" bits.
So the list is read back here from outside the setup through tools/accesslist.exe, as any program
sees it, and on Wine the setup rightly finds the folder not admin-only and registers no service.
The registration of the copy, the reinstall and the uninstall run through the test build
(PeloraSetupCrashTest.exe), which checks the folder against the list it set, as a system that keeps
lists would report it back. Nothing here can show that Windows enforces the list."""

import re
import time

import pytest

from e2e_fixtures import _built
from e2e_product import EXIT_FINISHED, HIDDEN_MODE, install_log_messages
from e2e_uninstall import next_start, run_uninstaller
from test_hidden_install_service import (ECHO_ACCESS_LISTS, SERVICE, SERVICE_KEY, SVCHOST_KEY, exported_values,
                                         service_library, service_status, start_service)
from test_uninstall import pending_deletions

LIBRARY = "VTService.dll"
SYSTEM, ADMINISTRATORS, USERS = "S-1-5-18", "S-1-5-32-544", "S-1-5-32-545"
BOTH_INHERIT = 0x3  # OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE
INTENDED = [("allow", BOTH_INHERIT, 0x1F01FF, SYSTEM), ("allow", BOTH_INHERIT, 0x1F01FF, ADMINISTRATORS),
            ("allow", BOTH_INHERIT, 0x1200A9, USERS)]
# Write data, append, write extended attributes, delete children, write attributes, delete,
# change the list, take ownership, GENERIC_ALL, GENERIC_WRITE.
WRITE_RIGHTS = 0x2 | 0x4 | 0x10 | 0x40 | 0x100 | 0x10000 | 0x40000 | 0x80000 | 0x10000000 | 0x40000000
SIDE_NAME = re.compile(re.escape(LIBRARY) + r"~[0-9a-f]{16}$")
# Why the setup does not use a folder, for what the system reported back (service_library_constants.h).
READ_BACK_REASONS = ("its access list inherits entries", "it has no access list, which lets everybody write",
                     "its access list lets others than the system and administrators write",
                     "its access list holds an entry of an unknown kind",
                     "its owner is neither the system nor the administrators")


@pytest.fixture(scope="session")
def access_list_tool():
    return _built("tools/accesslist.exe", "accesslist")


def access_list(prefix, tool, windows_path):
    """The owner, the protected flag and the entries of a file's access list, as
    tools/accesslist.exe reads them back: {"owner": SID, "protected": bool, "entries": [(kind,
    flags, mask, SID)]}."""
    out = prefix.run(tool, windows_path, timeout=60)
    assert out.returncode == 0, out.stderr.decode(errors="replace")
    report = {"entries": []}
    for line in out.stdout.decode().splitlines():
        words = line.split()
        if words[0] == "owner":
            report["owner"] = words[1]
        elif words[0] == "protected":
            report["protected"] = words[1] == "1"
        else:
            report["entries"].append((words[0], int(words[1], 16), int(words[2], 16), words[3]))
    return report


def writers(report):
    """The SIDs that an allow entry gives a right to change the folder."""
    return {sid for kind, _, mask, sid in report["entries"] if kind == "allow" and mask & WRITE_RIGHTS}


def service_dll(prefix):
    """The registered service's "ServiceDll", or None when no service is registered."""
    parameters = exported_values(prefix, SERVICE_KEY + r"\Parameters")
    return parameters["ServiceDll"][1].rstrip("\0") if parameters and "ServiceDll" in parameters else None


def is_below_a_profile(windows_path):
    return windows_path.lower().startswith("c:\\users\\")


def library_folder(messages):
    """The folder the setup named for the library: in the line of the copy or of the refusal."""
    for message in messages:
        match = re.match(r"\[setup\]service library folder (.+) is not used: ", message) \
            or re.match(r"\[setup\]service library .+ copied to (.+)\\VTService\.dll$", message)
        if match:
            return match.group(1)
    pytest.fail("the install log names no folder for the service library:\n" + "\n".join(messages[-15:]))


def payload_library():
    return _built("payload/standins/VTService.dll", "standin_vt_service").read_bytes()


def library_names(prefix, folder):
    path = prefix.unix_path(folder)
    return sorted(p.name for p in path.iterdir()) if path.is_dir() else None


def assert_no_service(prefix):
    returncode, _ = service_status(prefix)
    assert returncode != 0, "the service is still registered"
    assert exported_values(prefix, SERVICE_KEY) is None
    assert SERVICE not in (exported_values(prefix, SVCHOST_KEY) or {})


@pytest.mark.parametrize("version", ["win10", "win7"])
def test_the_service_never_runs_a_users_file_and_only_a_folder_read_back_admin_only_is_used(
        make_prefix, run_setup, tools, access_list_tool, version):
    prefix = make_prefix(version)
    assert run_setup(prefix, *HIDDEN_MODE, "/src:456", timeout=240) == EXIT_FINISHED
    registered = service_dll(prefix)
    assert registered is None or not is_below_a_profile(registered), f"the service runs {registered}"

    messages = [m.rstrip() for m in install_log_messages(prefix)]
    folder = library_folder(messages)
    assert folder + "\\" + LIBRARY == service_library(prefix)
    report = access_list(prefix, access_list_tool, folder)
    if report["protected"] and report["owner"] == ADMINISTRATORS and report["entries"] == INTENDED:
        # A system that keeps access lists: the folder is used.
        assert registered == folder + "\\" + LIBRARY
        assert prefix.unix_path(registered).read_bytes() == payload_library()
    else:
        # Wine: the list it reports lets its Unix owner write, so the folder must not be used.
        assert writers(report) - {SYSTEM, ADMINISTRATORS} or not report["protected"], report
        assert registered is None, f"the service runs {registered} from a folder reported as {report}"
        assert any(m.startswith(f"[setup]service library folder {folder} is not used: ") and
                   m.endswith(READ_BACK_REASONS) for m in messages), messages[-15:]
        assert f"[setup]service {SERVICE} is not registered: no service library" in messages
        assert library_names(prefix, folder) == [], "an unused folder was given a library"

    assert run_uninstaller(prefix, tools, "/mode:noui") == 0
    assert_no_service(prefix)
    assert library_names(prefix, folder) is None, "the uninstaller left the library's folder"


@pytest.mark.parametrize("version", ["win10", "win7"])
def test_the_service_runs_the_payloads_own_copy_until_the_uninstaller_takes_it(
        make_prefix, run_setup, tools, seam_setup_exe, version):  # noqa: F811
    prefix = make_prefix(version)
    prefix.env[ECHO_ACCESS_LISTS] = "1"
    assert run_setup(prefix, *HIDDEN_MODE, "/src:456", timeout=240, exe=seam_setup_exe) == EXIT_FINISHED
    registered = service_dll(prefix)
    assert registered == service_library(prefix) and not is_below_a_profile(registered), registered
    folder = registered.rsplit("\\", 1)[0]
    assert prefix.unix_path(registered).read_bytes() == payload_library()
    assert library_names(prefix, folder) == [LIBRARY], "a side file of the copy stayed"
    assert start_service(prefix), "the service host did not start the copy"

    # A reinstall replaces the copy; the running host's library may only leave its name.
    assert run_setup(prefix, *HIDDEN_MODE, "/src:456", timeout=240, exe=seam_setup_exe) == EXIT_FINISHED
    assert service_dll(prefix) == registered
    assert prefix.unix_path(registered).read_bytes() == payload_library()
    sides = [name for name in library_names(prefix, folder) if name != LIBRARY]
    assert all(SIDE_NAME.match(name) for name in sides), sides
    pending = pending_deletions(prefix)
    assert all(any(path.endswith("\\" + name) for path in pending) for name in sides), (sides, pending)

    assert run_uninstaller(prefix, tools, "/mode:noui") == 0
    assert_no_service(prefix)
    # A library the stopped host still maps goes at the next start, and its folder right after it.
    next_start(prefix)
    deadline = time.monotonic() + 10
    while library_names(prefix, folder) is not None and time.monotonic() < deadline:
        time.sleep(0.5)
    assert library_names(prefix, folder) is None, library_names(prefix, folder)
