"""A hidden install on Windows Vista and later registers the key-press service: after
`PeloraSetup.exe /mode:noui` the service manager (`sc query`) and the registry (`reg export`) hold
the demand-start shared service "PeloraService" run by the 32-bit svchost.exe in its own group,
with its description and "Parameters\\ServiceDll" naming the copy of VTService.dll in the
administrators' folder "<Program Files>\\PeloraService"; the service host can start it from there.
A second install over the first stops the running service and creates it anew. Both installs ask
the firewall for the client's entry.

Wine keeps no access lists on files, so the shipped program finds that folder not admin-only there
and registers nothing (test_hidden_install_service_library.py): the registration is run through
the test build, which checks the folder against the list it set."""

import re
import time

import pytest

from e2e_product import EXIT_FINISHED, HIDDEN_MODE, install_log_path
from e2e_log import parse
from e2e_wine import TEST_ARCH

SERVICE = "PeloraService"
SERVICE_KEY = r"HKLM\SYSTEM\CurrentControlSet\Services\PeloraService"
SVCHOST_KEY = r"HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Svchost"
DESCRIPTION = "提供Pelora按键通知服务。禁止后，某些情况下会出现按键无法说话的问题。"
IMAGE_PATH = re.compile(r'^"C:\\windows\\(system32|syswow64)\\svchost\.exe" -k PeloraService$', re.IGNORECASE)
FIREWALL_NAME = "映彩直播"
# The test build's stand-in for a file system that keeps access lists (app/test_access_list_echo.h).
ECHO_ACCESS_LISTS = "PELORA_TEST_ECHO_ACCESS_LISTS"


def exported_values(prefix, key):
    """{value name: (type, data)} of one key from `reg export`: strings as text, REG_EXPAND_SZ and
    REG_MULTI_SZ decoded (the multi-string as a list, empty strings included), dwords as ints."""
    text = prefix.reg_export(key)
    if text is None:
        return None
    text = re.sub(r"\\\r?\n\s*", "", text)
    wanted = "[" + key.replace("HKLM", "HKEY_LOCAL_MACHINE").lower() + "]"
    values, in_key = {}, False
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("["):
            in_key = line.lower() == wanted
            continue
        match = re.match(r'^"((?:[^"\\]|\\.)*)"=(.*)$', line) if in_key else None
        if not match:
            continue
        name, data = re.sub(r"\\(.)", r"\1", match.group(1)), match.group(2)
        if data.startswith('"'):
            values[name] = ("REG_SZ", re.sub(r"\\(.)", r"\1", data[1:-1]))
        elif data.startswith("dword:"):
            values[name] = ("REG_DWORD", int(data[6:], 16))
        elif data.startswith(("hex(2):", "hex(7):")):
            raw = bytes.fromhex(data.split(":", 1)[1].replace(",", ""))
            decoded = raw.decode("utf-16-le")
            if data.startswith("hex(2):"):
                values[name] = ("REG_EXPAND_SZ", decoded, len(raw))
            else:
                values[name] = ("REG_MULTI_SZ", decoded.split("\0"), len(raw))
        else:
            values[name] = ("OTHER", data)
    return values


def service_status(prefix):
    """`sc query PeloraService` as {field: text}. (Wine's sc.exe has no "qc": the configuration
    is read from the service's registry key, where the service manager keeps it.)"""
    out = prefix.run("sc", "query", SERVICE, timeout=60)
    fields = {}
    for line in out.stdout.decode(errors="replace").splitlines():
        if ":" in line:
            field, value = line.split(":", 1)
            fields[field.strip()] = value.strip()
    return out.returncode, fields


def service_records(prefix):
    """The service stand-in's record lines, wherever the service's %APPDATA% lies in the prefix."""
    lines = []
    for log in (prefix.path / "drive_c").rglob("CorvaneTest/VTService.log"):
        lines += log.read_text(encoding="utf-8", errors="replace").splitlines()
    return lines


def firewall_lines(prefix):
    return [line.message for line in parse(install_log_path(prefix).read_bytes()) if "firewall:" in line.message]


def service_library(prefix):
    """C: path of the service's library: in the Program Files folder of the setup's architecture
    (for the 32-bit setup on a 64-bit system, the 32-bit one)."""
    x86 = "Program Files (x86)"
    folder = x86 if TEST_ARCH == "i686" and (prefix.path / "drive_c" / x86).is_dir() else "Program Files"
    return f"C:\\{folder}\\PeloraService\\VTService.dll"


def expect_registered_service(prefix):
    dll = service_library(prefix)

    returncode, status = service_status(prefix)
    assert returncode == 0, status
    assert status["TYPE"].split()[0] == "20", status  # WIN32_SHARE_PROCESS

    service = exported_values(prefix, SERVICE_KEY)
    assert service["Description"] == ("REG_SZ", DESCRIPTION)
    assert service["Start"] == ("REG_DWORD", 3)  # demand start
    assert service["Type"] == ("REG_DWORD", 0x20)
    assert service["ErrorControl"] == ("REG_DWORD", 1)
    assert service["ObjectName"] == ("REG_SZ", "LocalSystem")
    assert service["DisplayName"] == ("REG_SZ", SERVICE)
    assert IMAGE_PATH.match(service["ImagePath"][1]), service["ImagePath"]
    assert "DependOnService" not in service and "Group" not in service

    group = exported_values(prefix, SVCHOST_KEY)[SERVICE]
    assert group == ("REG_MULTI_SZ", [SERVICE, "", ""], 30)

    parameters = exported_values(prefix, SERVICE_KEY + r"\Parameters")
    assert parameters["ServiceDll"] == ("REG_EXPAND_SZ", dll + "\0", (len(dll) + 1) * 2)
    return parameters


def start_service(prefix):
    """Starts the service through the service manager and waits for the stand-in's record."""
    prefix.run("sc", "start", SERVICE, timeout=60)
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        if f"running={SERVICE}" in service_records(prefix):
            return True
        time.sleep(0.5)
    return False


@pytest.mark.parametrize("version", ["win10", "win7"])
def test_hidden_install_registers_and_reinstall_recreates_the_service(make_prefix, run_setup, seam_setup_exe,
                                                                       version):  # noqa: F811
    prefix = make_prefix(version)
    prefix.env[ECHO_ACCESS_LISTS] = "1"
    assert run_setup(prefix, *HIDDEN_MODE, "/src:456", timeout=240, exe=seam_setup_exe) == EXIT_FINISHED
    expect_registered_service(prefix)

    # The registration is whole: the host runs the DLL from the group and Parameters key.
    assert start_service(prefix), service_records(prefix)

    # Marks that only a re-created service loses: another start type, a value of its own in
    # Parameters.
    prefix.reg_add(SERVICE_KEY, "Start", "4", kind="REG_DWORD")
    prefix.reg_add(SERVICE_KEY + r"\Parameters", "LeftBehind", "old")

    assert run_setup(prefix, *HIDDEN_MODE, "/src:456", timeout=240, exe=seam_setup_exe) == EXIT_FINISHED
    parameters = expect_registered_service(prefix)
    assert "LeftBehind" not in parameters
    assert f"stopped={SERVICE}" in service_records(prefix), "the running service was not stopped"

    # Wine's firewall lists nothing back, so the requests are read from the install log.
    client = "\\1.14.301\\bin\\Pelora.exe"
    lines = firewall_lines(prefix)
    added = [line for line in lines if client in line and f"authorised as {FIREWALL_NAME}" in line]
    assert len(added) == 2, lines
    assert any(client in line and "removed" in line for line in lines), lines


def test_hidden_install_on_xp_registers_no_service(make_prefix, run_setup):
    prefix = make_prefix("winxp")
    assert run_setup(prefix, *HIDDEN_MODE, "/src:456", timeout=240) == EXIT_FINISHED
    assert exported_values(prefix, SERVICE_KEY) is None
    returncode, _ = service_status(prefix)
    assert returncode != 0
    assert not list((prefix.path / "drive_c").glob("Program Files*/PeloraService")), "a library folder was made"
