"""Reads an install manifest written by the deployer under Wine with Python's own XML parser and
checks it against the staged tree and the installed tree on disk.

Run: python3 -m pytest tests/deploy/test_manifest_xml.py (scripts/test.sh runs it with the other
pytest suites). PELORA_DEPLOY_TESTS_EXE names deploy_tests.exe; by default the one of the build
tree PELORA_BUILD_DIR (set by scripts/test.sh), else build/<test architecture>, is used.
"""
import os
import subprocess
import xml.etree.ElementTree as ElementTree
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]


def default_build_dir():
    if os.environ.get("PELORA_BUILD_DIR"):
        return Path(os.environ["PELORA_BUILD_DIR"])
    arch = subprocess.run([str(REPO / "scripts" / "test-arch.sh")], capture_output=True, text=True).stdout.strip()
    return REPO / "build" / arch


EXE = Path(os.environ.get("PELORA_DEPLOY_TESTS_EXE",
                          default_build_dir() / "tests" / "deploy" / "deploy_tests.exe"))


def windows_path(path: Path) -> str:
    # Wine shows the Linux root as drive Z:.
    return "Z:" + str(path).replace("/", "\\")


@pytest.fixture(scope="module")
def exported(tmp_path_factory):
    if not EXE.exists():
        pytest.skip(f"{EXE} is not built")
    folder = tmp_path_factory.mktemp("manifest")
    env = dict(os.environ, PELORA_MANIFEST_EXPORT=windows_path(folder))
    run = subprocess.run([str(REPO / "scripts" / "wine-run.sh"), str(EXE),
                          "--gtest_filter=ManifestExport.*", "--gtest_also_run_disabled_tests"],
                         env=env, capture_output=True, text=True, timeout=240)
    assert run.returncode == 0, run.stdout + run.stderr
    assert "1 test" in run.stdout and "SKIPPED" not in run.stdout, run.stdout
    staged = folder / "staging" / "program files" / "Corvane" / "Pelora"
    installed = folder / "App" / "1.14.301"
    return staged, installed, installed / "PeloraInstall.xml"


def check_folder(element, folder: Path) -> int:
    """Every entry of `folder` is listed once with its size; returns the folder's total."""
    listed = {}
    total = 0
    for child in element:
        assert child.tag in ("folder", "file")
        assert list(child.attrib) == ["name", "size"]
        name = child.attrib["name"]
        assert name not in listed
        listed[name] = child
        path = folder / name
        if child.tag == "folder":
            assert path.is_dir(), path
            size = check_folder(child, path)
        else:
            assert path.is_file(), path
            assert len(child) == 0
            size = path.stat().st_size
        assert int(child.attrib["size"]) == size, path
        total += size
    on_disk = {p.name for p in folder.iterdir() if p.name != "PeloraInstall.xml"}
    assert on_disk == set(listed), folder
    return total


def test_manifest_text_layout(exported):
    _, _, manifest = exported
    raw = manifest.read_bytes()
    assert raw.startswith(b"<?xml ?>\r\n")
    assert not raw.startswith(b"\xef\xbb\xbf")
    lines = raw.split(b"\r\n")
    assert lines[-1] == b""
    depth = 0
    for line in lines[1:-1]:
        assert b"\n" not in line and b"\r" not in line
        stripped = line.lstrip(b" ")
        if stripped.startswith(b"</"):
            depth -= 1
        assert len(line) - len(stripped) == 4 * depth, line
        if stripped.startswith(b"<folder") and not stripped.endswith(b"/>"):
            depth += 1
        if stripped.startswith(b"<file"):
            assert stripped.endswith(b" />"), line
    assert depth == 0


def test_manifest_matches_staged_and_installed_trees(exported):
    staged, installed, manifest = exported
    raw = manifest.read_bytes()
    # The declaration carries no version, which strict parsers refuse; the program's own reader
    # accepts it. The rest of the document is plain XML.
    declaration, body = raw.split(b"\r\n", 1)
    assert declaration == b"<?xml ?>"
    root = ElementTree.fromstring(body)
    assert root.tag == "folder"
    assert root.attrib["name"] == "Pelora"
    total = check_folder(root, staged)
    assert int(root.attrib["size"]) == total
    assert check_folder(root, installed) == total
    assert root.find("folder[@name='Misc']/folder[@name='CVSSO']/folder[@name='CVSSO']/"
                     "file[@name='sso & co.dat']") is not None
