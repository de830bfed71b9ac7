"""A hidden install never deletes, empties or follows what is not the product's: a user's file
where the product root would go, a user's folder that happens to carry the version's name, a
folder of the user's named like a write probe, and a folder link inside an earlier install all
come out of an install and a reinstall byte for byte, and the exit code and the install log say
what happened. Install folders spelt with "." or a trailing backslash name what they say."""

import os

from e2e_log import parse
from e2e_product import EXIT_ABANDONED, EXIT_FINISHED, HIDDEN_MODE, VERSION, install_log_path
from e2e_registry import reg_values
from test_hidden_install import map_drive, product_root

USER_BYTES = b"the user's own bytes\r\n\x00\xff"


def log_messages(prefix):
    return [line.message for line in parse(install_log_path(prefix).read_bytes())]


def snapshot(folder):
    """Every file below `folder` (links not followed) with its bytes."""
    files = {}
    for base, folders, names in os.walk(folder):
        for name in names:
            path = os.path.join(base, name)
            with open(path, "rb") as data:
                files[os.path.relpath(path, folder)] = data.read()
    return files


def test_a_user_file_where_the_install_folder_goes_survives(prefix, run_setup):
    apps = prefix.path / "drive_c" / "Apps"
    apps.write_bytes(USER_BYTES)
    for run in ("install", "reinstall"):
        assert run_setup(prefix, *HIDDEN_MODE, "/install_dir:C:\\Apps", timeout=180) == EXIT_ABANDONED, run
        assert apps.is_file() and apps.read_bytes() == USER_BYTES, run
    messages = log_messages(prefix)
    # The folder check already fails: no folder can be made below a file.
    refused = f"[setup]install folder \"C:\\Apps\\{VERSION}\" refused, verdict 3\n"
    assert messages.count(refused) == 2
    assert not any(m.endswith("解压失败\r\n") for m in messages), "nothing was deployed"


def test_a_user_folder_named_like_the_version_folder_is_neither_emptied_nor_installed_into(prefix, run_setup):
    data = prefix.path / "drive_c" / "Data" / VERSION
    data.mkdir(parents=True)
    (data / "notes.txt").write_bytes(USER_BYTES)
    for run in ("install", "reinstall"):
        assert run_setup(prefix, *HIDDEN_MODE, "/install_dir:C:\\Data", timeout=180) == EXIT_ABANDONED, run
        assert snapshot(data) == {"notes.txt": USER_BYTES}, run
        assert os.listdir(data) == ["notes.txt"], run
    refused = f"[setup]安装目录里有不属于本产品的文件，拒绝使用：C:\\Data\\{VERSION}\n"
    assert log_messages(prefix).count(refused) == 2


def test_a_folder_named_like_a_write_probe_keeps_its_files(prefix, run_setup):
    chosen = prefix.path / "drive_c" / "Chosen"
    (chosen / "0test").mkdir(parents=True)
    (chosen / "0test" / "keep.txt").write_bytes(USER_BYTES)
    for run in ("install", "reinstall"):
        assert run_setup(prefix, *HIDDEN_MODE, "/install_dir:C:\\Chosen", timeout=180) == EXIT_FINISHED, run
        assert snapshot(chosen / "0test") == {"keep.txt": USER_BYTES}, run
        assert (chosen / VERSION / "Bin" / "PL.exe").is_file(), run


def test_a_folder_link_inside_the_installed_version_folder_is_never_followed(prefix, run_setup):
    """The link is a Linux symbolic link inside drive_c: Wine shows it to the setup as a reparse
    point, as Windows shows a junction."""
    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED
    user_files = prefix.path / "drive_c" / "UserFiles"
    (user_files / "Bin").mkdir(parents=True)
    (user_files / "notes.txt").write_bytes(USER_BYTES)
    (user_files / "Bin" / "Pelora.exe").write_bytes(USER_BYTES * 3)
    before = snapshot(user_files)
    version_folder = product_root(prefix) / VERSION
    (version_folder / "UserLink").symlink_to(user_files, target_is_directory=True)

    for run in ("reinstall", "third install"):
        assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED, run
        assert snapshot(user_files) == before, run
        assert (version_folder / "Bin" / "PL.exe").is_file(), run
    messages = log_messages(prefix)
    assert not any("UserLink\\" in m for m in messages), "nothing inside the link was touched"
    # Windows removes the link itself; Wine cannot remove a symbolic link as a folder, and says so.
    link_removal_failed = any("[setup]删除失败" in m and m.split(" (")[0].endswith("UserLink") for m in messages)
    assert not (version_folder / "UserLink").is_symlink() or link_removal_failed


def test_an_install_dir_of_dots_falls_back_to_the_default_and_leaves_the_drive_root_alone(prefix, run_setup):
    drive = prefix.path / "drive_c"
    # The setup's current folder, C:\caller, is made by the harness before the first run.
    before = sorted(set(os.listdir(drive)) | {prefix.caller_folder.name})
    for folder in ("C:\\.", "C:\\Apps\\..", "C:\\..\\"):
        assert run_setup(prefix, *HIDDEN_MODE, f"/install_dir:{folder}", timeout=180) == EXIT_FINISHED, folder
        assert sorted(os.listdir(drive)) == before, folder
    assert (product_root(prefix) / VERSION / "Bin" / "PL.exe").is_file()


def test_an_install_dir_with_a_trailing_backslash_names_the_same_folder(prefix, run_setup):
    apps = map_drive(prefix, "d", "hd") / "Apps"
    assert run_setup(prefix, *HIDDEN_MODE, "/install_dir:D:\\Apps\\", timeout=180) == EXIT_FINISHED
    assert (apps / VERSION / "Bin" / "PL.exe").is_file()
    assert (apps / "PL.exe").is_file()
    assert not (product_root(prefix) / VERSION).exists()
    assert reg_values(prefix, "HKCU\\SOFTWARE\\Corvane\\Pelora")["Install"] == "D:\\Apps\\" + VERSION
