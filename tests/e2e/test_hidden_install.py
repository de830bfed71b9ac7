"""A hidden install puts the product on disk and registers it: `PeloraSetup.exe /mode:noui
/src:456` in a fresh prefix copies the staged tree into the version folder with its install
manifest, places the public files in the product root, and writes the product key, the
first-install channel, the uninstall entry, the URL protocol and the Run entry."""

import datetime
import filecmp
import os
import subprocess
import xml.etree.ElementTree as ElementTree
from pathlib import Path

import pytest

from e2e_drives import map_drive
from e2e_fixtures import BUILD_DIR
from e2e_product import EXIT_FINISHED, HIDDEN_MODE, VERSION
from e2e_registry import reg_values
from e2e_wine import ROOT

PRODUCT_KEY = r"SOFTWARE\Corvane\Pelora"
UNINSTALL_KEY = r"HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\映彩直播"
FIRST_CHANNEL_KEY = r"HKLM\SOFTWARE\Corvane\PeloraFirstChannel"
PUBLIC_FILES = ["PeloraUninst.exe", "PL.exe", "VTService.dll", "WebAPI.dll"]


def windows(path_in_prefix, prefix):
    return "C:\\" + str(Path(path_in_prefix).relative_to(prefix.path / "drive_c")).replace("/", "\\")


def product_root(prefix):
    return prefix.appdata / "Corvane" / "Pelora" / "App"


def staged_product(prefix):
    return prefix.appdata / "Corvane" / "STemp" / "Pelora" / "Pelora~0" / "program files" / "Corvane" / "Pelora"


def manifest_entries(element, base=""):
    """(relative path, size or None for folders) of every entry of a manifest element."""
    for child in element:
        path = f"{base}{child.get('name')}"
        if child.tag == "folder":
            yield path, None
            yield from manifest_entries(child, path + "/")
        else:
            yield path, int(child.get("size"))


def read_manifest(path):
    # Names are in the ANSI code page; the payload's names are ASCII.
    text = path.read_bytes().decode("latin-1")
    # Python's parser rejects a declaration without a version; the rest is plain XML.
    body = text.split("?>", 1)[1] if text.startswith("<?xml") else text
    return ElementTree.fromstring(body)


def release_time():
    """The time the build gave the payload's files: the source tree's last commit (or the
    SOURCE_DATE_EPOCH the build was given), as scripts/pack-payload.sh recorded it."""
    recorded = int((BUILD_DIR / "payload" / "source-date-epoch").read_text())
    if "SOURCE_DATE_EPOCH" not in os.environ:
        commit = subprocess.run(["git", "-C", str(ROOT), "log", "-1", "--format=%ct"], capture_output=True, text=True)
        if commit.returncode == 0 and commit.stdout.strip():
            assert recorded == int(commit.stdout), "the build recorded another time than its commit's"
    return recorded


def test_hidden_install_deploys_and_registers_the_product(prefix, run_setup):
    first_day = datetime.date.today()
    assert run_setup(prefix, *HIDDEN_MODE, "/src:456", timeout=180) == EXIT_FINISHED
    install_days = {first_day.strftime("%Y%m%d"), datetime.date.today().strftime("%Y%m%d")}

    root = product_root(prefix)
    version_folder = root / VERSION
    staged = staged_product(prefix)
    staged_files = sorted(str(p.relative_to(staged)) for p in staged.rglob("*") if p.is_file())
    deployed = sorted(str(p.relative_to(version_folder)) for p in version_folder.rglob("*") if p.is_file())
    assert deployed == sorted(staged_files + ["PeloraInstall.xml"])
    assert [f for f in staged_files if not filecmp.cmp(staged / f, version_folder / f, shallow=False)] == []

    # The manifest describes exactly the deployed tree, sizes included.
    manifest = read_manifest(version_folder / "PeloraInstall.xml")
    entries = dict(manifest_entries(manifest))
    on_disk = {str(p.relative_to(staged)).replace("\\", "/"): (None if p.is_dir() else p.stat().st_size)
               for p in staged.rglob("*")}
    assert entries == on_disk

    for name in PUBLIC_FILES:
        assert filecmp.cmp(version_folder / "Bin" / name, root / name, shallow=False), name

    # Every installed file carries the release's time (the commit's, which the build recorded), not
    # the time of this install: the same on every machine.
    release = release_time()
    installed = [version_folder / f for f in staged_files] + [root / name for name in PUBLIC_FILES]
    assert {str(p): int(p.stat().st_mtime) for p in installed if int(p.stat().st_mtime) != release} == {}

    launcher = windows(root, prefix) + "\\PL.exe"
    expected_key = {"Version": VERSION, "Channel": "456", "Lt": "False",
                    "Install": windows(version_folder, prefix), "Exe": launcher, "DisplayIcon": launcher}
    for hive in ("HKCU", "HKLM"):
        values = reg_values(prefix, f"{hive}\\{PRODUCT_KEY}")
        assert values is not None, f"no product key under {hive}"
        assert {k: values.get(k) for k in expected_key} == expected_key, hive

    # The uninstall entry as Windows' list of programs and deployment tools read it. The product root
    # holds no blank, so the uninstaller's path needs no quotes.
    uninstaller = windows(root, prefix) + "\\PeloraUninst.exe"
    installed_bytes = sum(p.stat().st_size for p in version_folder.rglob("*") if p.is_file()) + \
        sum((root / name).stat().st_size for name in PUBLIC_FILES)
    entry = reg_values(prefix, UNINSTALL_KEY)
    assert entry.pop("InstallDate", None) in install_days
    assert entry == {
        "DisplayIcon": launcher, "DisplayName": "映彩直播", "DisplayVersion": VERSION,
        "Publisher": "岚拓科技（深圳）有限公司", "UninstallString": uninstaller,
        "QuietUninstallString": uninstaller + " /mode:noui", "InstallLocation": windows(root, prefix),
        "EstimatedSize": "dword:%08x" % -(-installed_bytes // 1024),
        "NoModify": "dword:00000001", "NoRepair": "dword:00000001"}
    assert reg_values(prefix, FIRST_CHANNEL_KEY)["Channel"] == "456"

    assert reg_values(prefix, r"HKCR\Pelora") == {"": "Pelora\\TalkProtocal", "URL Protocol": launcher}
    assert reg_values(prefix, r"HKCR\Pelora\DefaultIcon") == {"": f'"{launcher}",1'}
    assert reg_values(prefix, r"HKCR\Pelora\shell\open\command") == {"": f'"{launcher}" "%1"'}
    run = reg_values(prefix, r"HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Run")
    assert run["Pelora"] == f'"{launcher}" /startsrc:boot /delaystart:1'


def test_values_are_stored_with_their_terminating_nul(installed_model):
    # The model's server has ended, so its registry files hold what the install wrote.
    user_reg = (installed_model[0] / "user.reg").read_text(encoding="utf-8", errors="replace")
    section = user_reg.split("[Software\\\\Corvane\\\\Pelora]", 1)[1].split("\n[", 1)[0]
    assert '"Version"="1.14.301"' in section
    # Wine keeps a string without its NUL as hex(1) data instead of a plain string.
    assert "hex(1)" not in section


def test_install_dir_option_chooses_the_product_root(prefix, run_setup):
    apps = map_drive(prefix, "d", "hd") / "Apps"
    assert run_setup(prefix, *HIDDEN_MODE, "/install_dir:D:\\Apps", timeout=180) == EXIT_FINISHED
    assert (apps / VERSION / "Bin" / "PL.exe").exists()
    assert (apps / "PL.exe").exists()
    assert reg_values(prefix, f"HKCU\\{PRODUCT_KEY}")["Install"] == "D:\\Apps\\" + VERSION


@pytest.mark.parametrize("folder", ["C:\\Ap?ps", "Apps\\relative", "\\\\server\\share\\Apps", "Q:\\Apps"])
def test_an_invalid_install_dir_falls_back_to_the_default_silently(prefix, run_setup, folder):
    assert run_setup(prefix, *HIDDEN_MODE, f"/install_dir:{folder}", timeout=180) == EXIT_FINISHED
    assert (product_root(prefix) / VERSION / "Bin" / "PL.exe").exists()


@pytest.mark.parametrize("kind", ["floppy", "network", "cdrom"])
def test_an_install_dir_on_a_drive_that_is_not_fixed_falls_back(prefix, run_setup, kind):
    drive = map_drive(prefix, "e", kind)
    assert run_setup(prefix, *HIDDEN_MODE, "/install_dir:E:\\Apps", timeout=180) == EXIT_FINISHED
    assert not (drive / "Apps").exists()
    assert (product_root(prefix) / VERSION / "Bin" / "PL.exe").exists()


def test_an_earlier_channel_becomes_the_first_install_channel(prefix, run_setup):
    for hive in ("HKCU", "HKLM"):
        prefix.reg_add(f"{hive}\\{PRODUCT_KEY}", "Channel", "123")
        prefix.reg_add(f"{hive}\\{PRODUCT_KEY}", "Version", "1.13.0")
    assert run_setup(prefix, *HIDDEN_MODE, "/src:456", timeout=180) == EXIT_FINISHED
    assert reg_values(prefix, f"HKCU\\{PRODUCT_KEY}")["Channel"] == "456"
    assert reg_values(prefix, f"HKLM\\{PRODUCT_KEY}")["Channel"] == "456"
    assert reg_values(prefix, FIRST_CHANNEL_KEY)["Channel"] == "123"
