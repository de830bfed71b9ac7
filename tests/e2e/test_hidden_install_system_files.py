"""The setup tells the uninstaller which system files are the product's: a hidden install that
puts the helper DLL into the system folder and the media profile into the Windows folder lists
the two in the per-user product key's "SystemFiles"; a file that was there before the install
(another program's) is neither replaced nor listed, and a second install, which finds both files
present, keeps the first one's list."""

import re

from e2e_product import EXIT_FINISHED, HIDDEN_MODE, PRODUCT_KEY

HELPER = r"C:\windows\system32\MivoVistaHelper.dll"
PROFILE = r"C:\windows\WMSysPr9.prx"


def recorded_system_files(prefix):
    """The strings of "SystemFiles" (REG_MULTI_SZ) of the per-user product key; None when the
    value is missing."""
    text = prefix.reg_export(PRODUCT_KEY)
    assert text is not None, "no product key"
    text = re.sub(r"\\\r?\n\s*", "", text)
    match = re.search(r'^"SystemFiles"=hex\(7\):(.*)$', text, re.MULTILINE)
    if not match:
        return None
    raw = bytes.fromhex(match.group(1).strip().replace(",", ""))
    return [item for item in raw.decode("utf-16-le").split("\0") if item]


def lower(paths):
    return [path.lower() for path in paths]


def test_a_fresh_install_records_both_files_and_a_second_install_keeps_the_list(prefix, run_setup):
    for path in (HELPER, PROFILE):
        assert not prefix.unix_path(path).exists(), f"the template already holds {path}"
    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED
    for path in (HELPER, PROFILE):
        assert prefix.unix_path(path).is_file(), path
    first = recorded_system_files(prefix)
    assert first is not None and sorted(lower(first)) == sorted(lower([HELPER, PROFILE]))

    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED
    assert recorded_system_files(prefix) == first


def test_a_profile_that_was_there_before_is_neither_replaced_nor_listed(prefix, run_setup):
    profile = prefix.unix_path(PROFILE)
    profile.write_bytes(b"another program's profile")
    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED
    assert profile.read_bytes() == b"another program's profile"
    assert lower(recorded_system_files(prefix)) == lower([HELPER])
