"""A hidden run refuses to replace a newer installed version; special build strings and older
versions do not count as newer."""

import pytest

from e2e_product import EXIT_NOT_STARTED, HIDDEN_MODE, install_log_path

PRODUCT_SUBKEY = r"SOFTWARE\Corvane\Pelora"


def hidden_run_with_installed(prefix, run_setup, version, hive="HKCU"):
    prefix.reg_add(f"{hive}\\{PRODUCT_SUBKEY}", "version", version)
    return run_setup(prefix, *HIDDEN_MODE, timeout=120)


@pytest.mark.parametrize("version", ["1.14.302", "1.15", "2.0.0.0.482", "1.14.301.1"])
def test_a_newer_installed_version_stops_the_hidden_run(version, prefix, run_setup):
    assert hidden_run_with_installed(prefix, run_setup, version) == EXIT_NOT_STARTED
    # The refusal comes from the engine's initialisation, after the log was opened.
    log = install_log_path(prefix).read_bytes()[2:].decode("utf-16-le")
    assert "init installman failed" in log


def test_the_machine_wide_version_counts_when_the_user_has_none(prefix, run_setup):
    assert hidden_run_with_installed(prefix, run_setup, "1.14.302", hive="HKLM") == EXIT_NOT_STARTED


@pytest.mark.parametrize("version", ["23.89.0.860.1", "2.0.0.0.483", "1.14.300"])
def test_special_builds_and_older_versions_do_not_stop_the_hidden_run(version, prefix, run_setup):
    assert hidden_run_with_installed(prefix, run_setup, version) != EXIT_NOT_STARTED
