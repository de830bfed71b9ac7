"""The elevated setup and uninstaller run no code from the user's folders that is not the
product's own. Somebody else's library named "WebAPI.dll", put in the product root before a
reinstall or before an uninstall, or swapped in after the deployment and before the registration
(the setup's test build pauses there), never runs: neither the setup's own load nor regsvr32's.
The log names the file and the runs end with their usual codes. A single-sign-on installer swapped
in the staging folder at the same pause is not started either. The digest that vouches for the
installed component lies below HKLM, where only administrators write.

The stand-in foreign library notes every process that loads it in
%APPDATA%\\CorvaneTest\\ForeignWebAPI.log. Wine does not enforce access lists, so that only an
administrator can change the HKLM record is not something these tests can show."""

import hashlib
import shutil
import time

import pytest

from e2e_fixtures import _built
from e2e_product import EXIT_FINISHED, HIDDEN_MODE, install_log_messages, product_root, version_folder
from e2e_registry import reg_values
from e2e_uninstall import run_uninstaller
from test_deletion_identity import windows

MACHINE_PRODUCT_KEY = r"HKLM\SOFTWARE\Corvane\Pelora"
NOT_THE_PRODUCTS = "its bytes are not the product's"


@pytest.fixture(scope="session")
def foreign_library():
    return _built("payload/ForeignWebAPI.dll", "ForeignWebAPI")


def foreign_loads(prefix):
    """The programs that loaded the foreign library."""
    log = prefix.appdata / "CorvaneTest" / "ForeignWebAPI.log"
    lines = log.read_text(encoding="utf-8").splitlines() if log.exists() else []
    return [line[len("loaded="):] for line in lines if line.startswith("loaded=")]


def web_component_registrations(prefix):
    log = prefix.appdata / "CorvaneTest" / "WebAPI.log"
    lines = log.read_text(encoding="utf-8").splitlines() if log.exists() else []
    return [line for line in lines if line.startswith("register=")]


def refusals(prefix, path, since=0):
    """The reasons the log gives for not running `path`, from message `since` on."""
    start = f"[setup]{windows(prefix, path)} is not run: "
    return [m[len(start):].strip() for m in install_log_messages(prefix)[since:] if m.startswith(start)]


def sha256_of(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


def recorded_digest(prefix):
    return (reg_values(prefix, MACHINE_PRODUCT_KEY) or {}).get("WebComponentHash")


def test_an_install_vouches_for_its_web_component_below_hklm(installed):
    component = product_root(installed) / "WebAPI.dll"
    assert recorded_digest(installed) == sha256_of(component)
    assert sha256_of(component) == sha256_of(_built("payload/standins/WebAPI.dll", "WebAPI stand-in"))


def test_a_foreign_web_component_before_a_reinstall_never_runs(installed, run_setup, foreign_library):
    prefix = installed
    planted = product_root(prefix) / "WebAPI.dll"
    shutil.copyfile(foreign_library, planted)
    logged = len(install_log_messages(prefix))
    registered = len(web_component_registrations(prefix))

    code = run_setup(prefix, *HIDDEN_MODE, timeout=180)

    assert foreign_loads(prefix) == [], "the foreign WebAPI.dll ran"
    assert NOT_THE_PRODUCTS in refusals(prefix, planted, since=logged)
    assert code == EXIT_FINISHED
    # The new version's own component is deployed, checked and registered as usual.
    assert sha256_of(planted) == recorded_digest(prefix)
    assert len(web_component_registrations(prefix)) == registered + 1


def test_a_foreign_web_component_before_an_uninstall_never_runs(installed, tools, foreign_library):
    prefix = installed
    planted = product_root(prefix) / "WebAPI.dll"
    shutil.copyfile(foreign_library, planted)
    logged = len(install_log_messages(prefix))

    code = run_uninstaller(prefix, tools, "/mode:noui", timeout=180)

    assert foreign_loads(prefix) == [], "the foreign WebAPI.dll ran"
    assert NOT_THE_PRODUCTS in refusals(prefix, planted, since=logged)
    assert code == EXIT_FINISHED
    assert reg_values(prefix, MACHINE_PRODUCT_KEY) is None, "the uninstall was not complete"


def pause_before_the_registration(prefix, start_setup, seam_setup_exe):
    """Starts the setup's test build hidden and returns it, with the file that resumes it, once it
    waits between the deployment and the web component's registration."""
    flags = prefix.path / "drive_c" / "seam"
    flags.mkdir()
    paused, resume = flags / "paused", flags / "resume"
    prefix.env["PELORA_TEST_REGISTER_PAUSED"] = windows(prefix, paused)
    prefix.env["PELORA_TEST_REGISTER_RESUME"] = windows(prefix, resume)
    setup = start_setup(prefix, *HIDDEN_MODE, exe=seam_setup_exe)
    deadline = time.monotonic() + 150
    while not paused.exists():
        assert setup.running(), f"the setup ended with {setup.wait()} without pausing before the registration"
        assert time.monotonic() < deadline, "the setup never paused before the web component's registration"
        time.sleep(0.1)
    return setup, resume


def test_a_web_component_swapped_after_the_deployment_never_runs(prefix, start_setup, seam_setup_exe,
                                                                 foreign_library):
    setup, resume = pause_before_the_registration(prefix, start_setup, seam_setup_exe)
    swapped = product_root(prefix) / "WebAPI.dll"
    shutil.copyfile(foreign_library, swapped)
    resume.touch()

    assert setup.wait(timeout=180) == EXIT_FINISHED
    assert foreign_loads(prefix) == [], "the swapped-in WebAPI.dll ran"
    # Two attempts, each refused.
    assert refusals(prefix, swapped) == [NOT_THE_PRODUCTS] * 2
    assert web_component_registrations(prefix) == []
    assert recorded_digest(prefix) is None, "a digest was recorded for a file that was not checked"


def test_a_single_sign_on_installer_swapped_in_the_staging_folder_never_runs(prefix, start_setup, seam_setup_exe):
    setup, resume = pause_before_the_registration(prefix, start_setup, seam_setup_exe)
    staged = prefix.appdata / "Corvane" / "STemp" / "Pelora" / "Pelora~0" / "program files" / "Corvane" / "Pelora"
    installer = staged / "Misc" / "CVSSO" / "InstCVSSO.exe"
    # Another program that notes its every start: the crash reporter's stand-in.
    shutil.copyfile(_built("payload/standins/bugreport.exe", "bugreport stand-in"), installer)
    resume.touch()

    assert setup.wait(timeout=180) == EXIT_FINISHED
    time.sleep(2)  # the shell starts a program without waiting for it
    assert not (prefix.appdata / "CorvaneTest" / "bugreport.log").exists(), "the swapped-in installer ran"
    assert refusals(prefix, installer) == [NOT_THE_PRODUCTS] * 3
    # Not started twice: the component is kept beside the product for the client to install.
    assert (version_folder(prefix) / "Misc" / "CVSSO" / "CVSSO" / "cvsso.dll").is_file()
