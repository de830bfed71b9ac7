"""The registration steps around the client's start: a hidden install registers the web component
"WebAPI.dll" of the product root once (its DllRegisterServer succeeds the first time), starts the
single-sign-on installer from the staging folder once, with its component folder as one quoted
parameter, and needs no fallback copy of the component. The stand-ins record what they were given
in %APPDATA%\\CorvaneTest."""

import time
from pathlib import Path

from e2e_product import EXIT_FINISHED, HIDDEN_MODE
from e2e_registry import reg_values


def windows(path, prefix):
    return "C:\\" + str(Path(path).relative_to(prefix.path / "drive_c")).replace("/", "\\")


def record(prefix, name, wait_s=0.0):
    """The stand-in's lines as (key, value) pairs, waiting for a program the shell started
    without waiting for it."""
    path = prefix.appdata / "CorvaneTest" / f"{name}.log"
    deadline = time.monotonic() + wait_s
    while time.monotonic() < deadline and "arg1=" not in (path.read_text(encoding="utf-8") if path.exists() else ""):
        time.sleep(0.2)
    if not path.exists():
        return []
    return [tuple(line.split("=", 1)) for line in path.read_text(encoding="utf-8").splitlines() if "=" in line]


def test_hidden_install_registers_the_web_component_and_the_single_sign_on(make_prefix, run_setup):
    prefix = make_prefix("win10")
    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED

    web_api = windows(prefix.appdata / "Corvane" / "Pelora" / "App" / "WebAPI.dll", prefix)
    assert [value for key, value in record(prefix, "WebAPI") if key == "register"] == [web_api]
    assert reg_values(prefix, r"HKCU\Software\CorvaneTest")["WebAPI"] == web_api

    staged = prefix.appdata / "Corvane" / "STemp" / "Pelora" / "Pelora~0" / "program files" / "Corvane" / "Pelora"
    component = windows(staged / "Misc" / "CVSSO" / "CVSSO", prefix)
    sso = record(prefix, "InstCVSSO", wait_s=10)
    assert [value.lower() for key, value in sso if key == "exe"] == \
        [windows(staged / "Misc" / "CVSSO" / "InstCVSSO.exe", prefix).lower()]
    assert [value for key, value in sso if key == "arg1"] == [component]
    (cmdline,) = [value for key, value in sso if key == "cmdline"]
    assert cmdline.endswith(f' "{component}"'), cmdline
