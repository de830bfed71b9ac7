"""The tree walks and deletions of the deployment over an earlier install that holds links to the
user's files: a fresh prefix, a version folder with the manifest and a folder link to the user's
files (a Linux symbolic link inside drive_c, which Wine shows as a reparse point), and the
deployment tests' LinkedTrees cases run against it. The user's files must come out byte for byte."""

import os
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]


def build_dir():
    if os.environ.get("PELORA_BUILD_DIR"):
        return Path(os.environ["PELORA_BUILD_DIR"])
    arch = subprocess.run([str(ROOT / "scripts" / "test-arch.sh")], capture_output=True, text=True).stdout.strip()
    return ROOT / "build" / arch


def deploy_tests_and_prefix(tmp_path):
    """The deployment tests' program and a fresh win7 prefix for it below `tmp_path`."""
    exe = build_dir() / "tests" / "deploy" / "deploy_tests.exe"
    if not exe.exists():
        pytest.skip(f"{exe} is not built")
    prefix = tmp_path / "prefix"
    subprocess.run([str(ROOT / "scripts" / "wine-copy-prefix.sh"), str(prefix), "win7"], check=True,
                   capture_output=True, timeout=300)
    return exe, prefix


def snapshot(folder):
    return {str(p.relative_to(folder)): p.read_bytes() for p in sorted(folder.rglob("*")) if p.is_file()}


def test_links_in_an_earlier_install_are_never_followed(tmp_path):
    exe, prefix = deploy_tests_and_prefix(tmp_path)
    drive = prefix / "drive_c"
    user_files = drive / "UserFiles"
    (user_files / "Users" / "1").mkdir(parents=True)
    (user_files / "notes.txt").write_bytes(b"the user's notes\r\n")
    (user_files / "Users" / "1" / "profile.dat").write_bytes(bytes(range(256)))
    before = snapshot(user_files)

    installed = drive / "Old" / "1.14.200"
    (installed / "Bin").mkdir(parents=True)
    (installed / "Bin" / "Pelora.exe").write_bytes(b"x" * 20)
    (installed / "PeloraInstall.xml").write_bytes(b"<x/>\n")  # 5 bytes, left by that install
    (installed / "data").symlink_to(user_files)
    # A Linux link to a single file looks like a plain file to Windows code under Wine (no
    # reparse point), so only folder links are made real here.

    env = {**os.environ, "PELORA_LINKED_INSTALL": "C:\\Old\\1.14.200", "PELORA_LINK_TARGET": "C:\\UserFiles"}
    result = subprocess.run([str(ROOT / "scripts" / "wine-run.sh"), "--prefix", str(prefix), str(exe),
                             "--gtest_filter=LinkedTrees.*"],
                            capture_output=True, text=True, env=env, timeout=300)
    assert result.returncode == 0, result.stdout[-3000:] + result.stderr[-2000:]
    assert "[  PASSED  ] 3 tests" in result.stdout
    assert "SKIPPED" not in result.stdout
    assert snapshot(user_files) == before
    assert not (installed / "Bin" / "Pelora.exe").exists()
