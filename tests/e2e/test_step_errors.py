"""Steps of the installation that fail on a real machine are reported one by one while the install
completes: an old shortcut that another program holds open (2001), a start-menu group that cannot
be made (2004), a machine-wide product key that cannot be written (3001), a URL protocol that
cannot be registered (5001), and, on Windows XP, the old users' folder that cannot be deleted after
it was copied (4001). What stood in the way is left as it was."""

from e2e_product import EXIT_FINISHED, HIDDEN_MODE, PRODUCT_KEY, VERSION
from e2e_wine import FileHolder

LAUNCH_SHORTCUT = "映彩直播.lnk"
GROUP = ("岚拓软件", "映彩直播")
OLD_VERSION = "1.13.0"


def windows(path, prefix):
    return "C:\\" + str(path.relative_to(prefix.path / "drive_c")).replace("/", "\\")


def make_volatile(prefix, tools, hive, subkey):
    """A volatile key lasts while the prefix's server runs; no lasting key can be made below it."""
    result = prefix.run(tools.path("volatilekey"), hive, subkey)
    assert result.returncode == 0 and result.stdout.decode().strip() == "ready", result.stderr


def test_four_failed_registration_steps_are_each_reported(make_prefix, run_setup, tools, report_server):
    prefix = make_prefix("win10")
    # An earlier install's shortcut in the all-users start menu, held open without delete sharing.
    common_group = prefix.path.joinpath("drive_c", "ProgramData", "Microsoft", "Windows", "Start Menu",
                                        "Programs", *GROUP)
    common_group.mkdir(parents=True)
    held_link = common_group / LAUNCH_SHORTCUT
    held_link.write_bytes(b"an old shortcut")
    # A file of the user's where the per-user start-menu company folder belongs.
    company = prefix.appdata / "Microsoft" / "Windows" / "Start Menu" / "Programs" / GROUP[0]
    company.write_bytes(b"the user's file")
    make_volatile(prefix, tools, "HKLM", r"SOFTWARE\Corvane")
    make_volatile(prefix, tools, "HKLM", r"SOFTWARE\Classes\Pelora")

    prefix.env["PELORA_REPORT_SERVER"] = report_server.address
    with FileHolder(prefix, tools, windows(held_link, prefix), share="r"):
        assert run_setup(prefix, *HIDDEN_MODE, timeout=240) == EXIT_FINISHED

    assert sorted(report_server.installer_error_codes()) == [2001, 2004, 3001, 5001]
    assert held_link.read_bytes() == b"an old shortcut"
    assert company.read_bytes() == b"the user's file"
    # The per-user registration and the rest of the install went on.
    assert prefix.reg_query(PRODUCT_KEY, "Version") == VERSION
    assert (prefix.appdata / "Corvane" / "Pelora" / "App" / VERSION / "Bin" / "Pelora.exe").is_file()


def test_on_windows_xp_old_users_data_that_cannot_be_deleted_is_reported(make_prefix, run_setup, tools,
                                                                          report_server):
    prefix = make_prefix("winxp")
    assert run_setup(prefix, *HIDDEN_MODE, timeout=240) == EXIT_FINISHED
    root = prefix.appdata / "Corvane" / "Pelora" / "App"
    old_folder = root / OLD_VERSION
    (root / VERSION).rename(old_folder)
    history = old_folder / "Users" / "1001" / "history.db"
    history.parent.mkdir(parents=True)
    history.write_bytes(b"chat history")
    prefix.reg_add(PRODUCT_KEY, "Install", windows(old_folder, prefix))
    prefix.reg_add(PRODUCT_KEY, "Version", OLD_VERSION)

    prefix.env["PELORA_REPORT_SERVER"] = report_server.address
    # Another program reads the history and lets nobody delete it: the copy succeeds, the deletion not.
    with FileHolder(prefix, tools, windows(history, prefix), share="r"):
        assert run_setup(prefix, *HIDDEN_MODE, timeout=240) == EXIT_FINISHED

    assert 4001 in report_server.installer_error_codes()
    assert (root / VERSION / "Users" / "1001" / "history.db").read_bytes() == b"chat history"
    assert history.read_bytes() == b"chat history", "the file in use stays where it was"
