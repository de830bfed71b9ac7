"""Names outside ASCII, as the system's ANSI code page holds them: a hidden install and a
reinstall of a product whose files carry Chinese names on a Chinese system (code page 936) and
accented names on a Western one (code page 1252) both finish, and the install manifest lists
every name in that code page. Wine takes the code page from the Unix locale of the process."""

import subprocess
import xml.etree.ElementTree as ElementTree

import pytest

from e2e_fixtures import BUILD_DIR
from e2e_log import parse
from e2e_payload import with_replaced_payload
from e2e_product import EXIT_FINISHED, HIDDEN_MODE, VERSION, install_log_path

PAYLOAD = BUILD_DIR / "payload" / "Setup.7z"
PRODUCT = "program files/Corvane/Pelora"

# (Unix locale, Python codec of the ANSI code page, names added below the product tree). Each
# first name's last byte in its code page is 0xC2 or more, the case a UTF-8 reader gets wrong.
CASES = {
    "cp936": ("zh_CN.UTF-8", "gbk", ["映彩直播", "Bin/皮肤/默认彩.dat", "Misc/说明.txt"]),
    "cp1252": ("C.UTF-8", "cp1252", ["café", "Bin/naïve/résumé.dat", "Misc/Übersicht.txt"]),
}


def payload_with_names(tmp_path, names, tag):
    """The test payload with files of those names added to the product tree, packed like the
    real one (solid LZMA with BCJ2)."""
    layout = tmp_path / f"layout-{tag}"
    subprocess.run(["7zz", "x", "-y", f"-o{layout}", str(PAYLOAD)], check=True, capture_output=True)
    for name in names:
        path = layout / PRODUCT / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(f"{tag}: {name}\r\n", encoding="utf-8")
    archive = tmp_path / f"Setup-{tag}.7z"
    subprocess.run(["7zz", "a", "-t7z", "-bd", "-bso0", "-m0=LZMA", "-mf=BCJ2", "-ms=on", str(archive),
                    "SysDir", "program files", "CVSSO"], cwd=layout, check=True, capture_output=True,
                   env={"LC_ALL": "C.UTF-8", "PATH": "/usr/bin:/bin"})
    return archive, layout


def manifest_paths(version_folder, codec):
    """Relative paths of every file the manifest lists, decoded with the code page's codec."""
    raw = (version_folder / "PeloraInstall.xml").read_bytes()
    body = raw.split(b"?>", 1)[1]
    # Python's parser reads bytes as UTF-8; the manifest is ANSI text, so decode it first.
    root = ElementTree.fromstring(body.decode(codec))

    def walk(element, base):
        for child in element:
            path = base + child.get("name")
            if child.tag == "folder":
                yield from walk(child, path + "/")
            else:
                yield path

    return set(walk(root, ""))


@pytest.mark.parametrize("case", sorted(CASES))
def test_install_and_reinstall_keep_every_name_of_the_code_page(case, prefix, run_setup, setup_exe,
                                                               tools, tmp_path):
    locale, codec, names = CASES[case]
    prefix.env.update(LC_ALL=locale, LANG=locale)
    archive, layout = payload_with_names(tmp_path, names, case)
    variant = with_replaced_payload(prefix, tools, setup_exe, archive, prefix.path / "drive_c" / "PeloraSetup.exe")
    version_folder = prefix.appdata / "Corvane" / "Pelora" / "App" / VERSION

    for attempt in ("install", "reinstall"):
        assert run_setup(prefix, *HIDDEN_MODE, exe=variant, timeout=180) == EXIT_FINISHED, attempt
        for name in names:
            deployed = version_folder / name
            assert deployed.read_bytes() == (layout / PRODUCT / name).read_bytes(), (attempt, name)
        listed = manifest_paths(version_folder, codec)
        assert set(names) <= listed, attempt

    log = "".join(line.message for line in parse(install_log_path(prefix).read_bytes()))
    assert "加载XML失败" not in log
    assert log.count("[setup]安装结果1") == 2
