"""The service library's folder behind a link: a fresh prefix where one folder of that name is
itself a link to the user's files and another lies below a folder link (Linux symbolic links inside
drive_c, which Wine shows as reparse points), and the deployment tests' ServiceLibraryLinks case run
against them. The setup must refuse both, write nothing through them and remove nothing behind them:
the files behind the links come out byte for byte, and their permission bits, which is what Wine
keeps of an access list set on them, unchanged."""

import os
import subprocess

from test_linked_trees import ROOT, deploy_tests_and_prefix, snapshot


def permissions(folder):
    """The permission bits of `folder` and of everything below it."""
    return {str(p.relative_to(folder)): p.stat().st_mode for p in [folder, *sorted(folder.rglob("*"))]}


def test_a_library_folder_that_is_or_lies_behind_a_link_is_refused(tmp_path):
    exe, prefix = deploy_tests_and_prefix(tmp_path)
    drive = prefix / "drive_c"
    user_files = drive / "UserFiles"
    user_files.mkdir()
    (user_files / "VTService.dll").write_bytes(b"the user's own library")
    (user_files / "notes.txt").write_bytes(b"the user's notes\r\n")
    other = drive / "Other"
    (other / "PeloraService").mkdir(parents=True)
    (other / "PeloraService" / "VTService.dll").write_bytes(b"another program's library")
    (drive / "Linked").mkdir()
    (drive / "Linked" / "PeloraService").symlink_to(user_files, target_is_directory=True)
    (drive / "LinkAbove").symlink_to(other, target_is_directory=True)
    before = {folder: (snapshot(folder), permissions(folder)) for folder in (user_files, other)}

    env = {**os.environ, "PELORA_LINKED_LIBRARY_FOLDER": "C:\\Linked\\PeloraService",
           "PELORA_LIBRARY_FOLDER_BEHIND_LINK": "C:\\LinkAbove\\PeloraService"}
    result = subprocess.run([str(ROOT / "scripts" / "wine-run.sh"), "--prefix", str(prefix), str(exe),
                             "--gtest_filter=ServiceLibraryLinks.*"],
                            capture_output=True, text=True, env=env, timeout=300)
    assert result.returncode == 0, result.stdout[-3000:] + result.stderr[-2000:]
    assert "[  PASSED  ] 1 test" in result.stdout
    assert "SKIPPED" not in result.stdout
    for folder, (files, bits) in before.items():
        assert snapshot(folder) == files, f"the files behind the link to {folder.name} changed"
        assert permissions(folder) == bits, f"an access list was set through the link to {folder.name}"
