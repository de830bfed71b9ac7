"""A full install drive: too small from the start, or filled by another program after the setup
checked its free space, so that the copy runs out of room half-way. Either way the run ends with
1, leaves nothing of the product on the drive and registers nothing."""

import os
import subprocess
import time

import pytest

from e2e_drives import map_drive
from e2e_fixtures import BUILD_DIR
from e2e_product import EXIT_ABANDONED, HIDDEN_MODE, PRODUCT_KEY, install_log_messages, install_log_path
from e2e_registry import reg_values

MIB = 1024 * 1024
PAGE = 4096
# The folder check's last line: from here on the setup relies on the space it has seen.
FOLDER_CHECKED = "bHaveWrite"
FILLER = "filler.bin"


def installed_folder(prefix):
    values = reg_values(prefix, PRODUCT_KEY)
    return None if values is None else values.get("Install")


def entries_below(folder):
    return sorted(str(p.relative_to(folder)) for p in folder.rglob("*"))


def staged_tree_bytes():
    """What the version folder takes on a tmpfs: every packed file rounded up to whole pages."""
    layout = BUILD_DIR / "payload" / "layout" / "program files" / "Corvane" / "Pelora"
    files = [p for p in layout.rglob("*") if p.is_file()]
    assert files, f"no packed product tree in {layout}"
    return sum(-(-p.stat().st_size // PAGE) * PAGE for p in files)


def wait_for_log_text(prefix, text, setup, timeout=60):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        path = install_log_path(prefix)
        if path.exists() and text.encode("utf-16-le") in path.read_bytes():
            return
        assert setup.running(), "the setup ended before its folder check"
        time.sleep(0.01)
    pytest.fail(f"no {text!r} in the install log within {timeout} s")


def fill_leaving(point, free_bytes):
    """Another program takes all but `free_bytes` of the drive."""
    available = os.statvfs(point).f_bavail * os.statvfs(point).f_frsize
    size = available - free_bytes
    assert size > 0, f"only {available} bytes free"
    subprocess.run(["fallocate", "-l", str(size), str(point / FILLER)], check=True)


@pytest.mark.parametrize("megabytes", [1, 20, 40, 76])
def test_a_drive_too_small_from_the_start_is_refused_before_anything_is_written(prefix, tmpfs, run_setup, megabytes,
                                                                                 fault_row):
    """The product needs 77 MiB: every smaller drive is refused before anything is written to it,
    and the install log says so (verdict 2: not enough free space)."""
    row = fault_row(f"install drive of {megabytes} MiB (needs 77)", "size-limited tmpfs mapped as T:, hidden mode",
                    "exit 1; drive left empty; no product key; refusal with verdict 2 in the log")
    point = tmpfs(f"small{megabytes}", megabytes * MIB)
    drive = map_drive(prefix, "t", "hd", target=point)
    code = run_setup(prefix, *HIDDEN_MODE, "/install_dir:T:\\Apps", timeout=120)
    row.observed(f"exit {code}")
    assert code == EXIT_ABANDONED
    assert list(drive.iterdir()) == []
    assert installed_folder(prefix) is None
    assert any("T:\\Apps" in m and "refused, verdict 2" in m for m in install_log_messages(prefix))


# Where the drive runs out: half-way through the version folder (1 MiB left: a few of the
# product's files fit), or at the public files in the product root (the version folder fits,
# with 300 KiB to spare: not all of the four public files do).
FILL_POINTS = {
    "version folder": lambda: 1 * MIB,
    "public files": lambda: staged_tree_bytes() + 300 * 1024,
}


@pytest.mark.parametrize("where", FILL_POINTS)
def test_a_drive_filled_during_the_install_leaves_nothing_half_installed(prefix, tmpfs, start_setup, where,
                                                                         fault_row):
    row = fault_row(f"install drive filled during the copy ({where})",
                    "80 MiB tmpfs as T:; after the free-space check a filler process (fallocate) leaves "
                    f"{FILL_POINTS[where]() // 1024} KiB",
                    "exit 1; the log names the file; only the filler left on the drive; no product key")
    point = tmpfs("filling", 80 * MIB)
    drive = map_drive(prefix, "t", "hd", target=point)
    setup = start_setup(prefix, *HIDDEN_MODE, "/install_dir:T:\\Apps")
    wait_for_log_text(prefix, FOLDER_CHECKED, setup)
    fill_leaving(point, FILL_POINTS[where]())
    code = setup.wait(timeout=120)

    messages = install_log_messages(prefix)
    failed = [m for m in messages if m.startswith("[setup]install failed at ")]
    row.observed(f"exit {code}; {failed[0].strip() if failed else 'no failure line'}")
    assert code == EXIT_ABANDONED
    assert len(failed) == 1, messages[-30:]
    assert "T:\\Apps\\" in failed[0]
    if where == "public files":
        assert "T:\\Apps\\1.14.301" not in failed[0], "the version folder fitted"
    assert entries_below(drive) == [FILLER]
    assert any(m.startswith("[setup]removed what this run wrote:") and m.rstrip().endswith(", 0 entries left")
               for m in messages), messages[-30:]
    assert installed_folder(prefix) is None
