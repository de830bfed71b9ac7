"""The size budget of the two programs that ship, read from the section tables of the i686 build:
the setup program without its resources (the payload archives and the art) at most 1.5 MB, the
uninstaller, which travels inside the payload, at most 1 MB.

A program grows past its budget when something links a large part of a library in, most often
the standard streams and the locale library (any <iostream>, <sstream> or std::locale use) or a
protobuf runtime; the message lists the sections so that the growth can be placed.

Run: python3 -m pytest tests/payload/test_program_size.py. The tree is PELORA_BUILD_DIR when it is
an i686 build, else build/i686 (cmake --preset mingw); the tests are skipped when neither holds
the programs.
"""
import os
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tools"))
import pe_compare  # noqa: E402  (the PE section reader of the reproducibility check)

SETUP = Path("app") / "PeloraSetup.exe"
UNINSTALLER = Path("payload") / "standins" / "PeloraUninst.exe"
SETUP_WITHOUT_RESOURCES_BUDGET = 1_500_000
UNINSTALLER_BUDGET = 1_000_000
I386_MACHINE = 0x14C


def machine(data):
    pe = int.from_bytes(data[0x3C:0x40], "little")
    return int.from_bytes(data[pe + 4:pe + 6], "little")


def section_sizes(data):
    """{name: bytes in the file} of every section (the header fields of pe_compare.parts are left
    out; names are cut to eight characters, .eh_fram)."""
    return {name[len("section "):]: end - start for start, end, name in pe_compare.parts(data)
            if name.startswith("section ")}


def i686_build():
    candidates = [Path(os.environ["PELORA_BUILD_DIR"])] if os.environ.get("PELORA_BUILD_DIR") else []
    candidates.append(REPO / "build" / "i686")
    for build in candidates:
        setup = build / SETUP
        if setup.is_file() and machine(setup.read_bytes()) == I386_MACHINE:
            return build
    pytest.skip("no i686 build of the setup program (cmake --preset mingw && cmake --build build/i686)")


def describe(path, data):
    sizes = ", ".join(f"{name} {size}" for name, size in section_sizes(data).items())
    return f"{path}: {len(data)} bytes ({sizes})"


def test_setup_program_without_its_resources_stays_within_budget():
    path = i686_build() / SETUP
    data = path.read_bytes()
    resources = section_sizes(data).get(".rsrc", 0)
    # Without a resource section the budget would hold the archives and art, and mean nothing.
    assert resources > 0, describe(path, data)
    without_resources = len(data) - resources
    assert without_resources <= SETUP_WITHOUT_RESOURCES_BUDGET, describe(path, data)


def test_uninstaller_stays_within_budget():
    path = i686_build() / UNINSTALLER
    data = path.read_bytes()
    assert machine(data) == I386_MACHINE, describe(path, data)
    size = len(data)
    assert size <= UNINSTALLER_BUDGET, describe(path, data)
