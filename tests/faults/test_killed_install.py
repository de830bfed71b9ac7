"""The setup killed in the middle of its installation phase (while it removes the installed
version, copies the product's files or registers them), without a chance to clean up: the next
run in the same prefix ends with 0 and leaves a complete, registered install whose files are the
payload's and match the manifest it wrote.

The kill points are drawn once, with a fixed seed: two by the number of files in the version
folder (rising while a first install copies, falling while a second install removes the first),
two by the time since a phase of a second install began (the removal, the registration)."""

import filecmp
import os
import random
import subprocess
import time
import xml.etree.ElementTree as ElementTree

import pytest

from e2e_fixtures import BUILD_DIR
from e2e_log import parse
from e2e_payload import installed_tree
from e2e_product import (EXIT_FINISHED, HIDDEN_MODE, MANIFEST_NAME, PRODUCT_KEY, PUBLIC_FILES, VERSION,
                         install_log_path, product_root, version_folder, windows_path_in)
from e2e_registry import reg_values
from e2e_report import ReportServer

PAYLOAD = BUILD_DIR / "payload" / "Setup.7z"
REMOVING, COPYING, REGISTERING = "removing the installed version", "copying files", "registering"
# The log lines that open the phases of the installation, in order, and the phase each opens.
PHASE_LINES = [("[setup]开始卸载MSI", REMOVING), ("[setup]完成卸载", COPYING), ("[setup]安装结果", REGISTERING)]
FIRST_LINE = {phase: line for line, phase in PHASE_LINES}

CHECKED = ("rerun exits 0; version folder = payload, byte for byte, and = its manifest (names, sizes); public "
           "files = their Bin copies; product key Install and Version")

KILL_SEED = 1409
_draw = random.Random(KILL_SEED)
# (what triggers the kill, the phase it falls in, how many files or seconds into the phase). The
# copy of a first install fills the 23 files of the version folder in some 0.15 s, so the counts
# stay clear of its end; the removal through held handles takes some 0.05 s on the test machine
# (the old version's manifest written anew, then its files), the registration of a reinstall some
# 0.5 s under Wine, which registers no service there (it keeps no access lists for the service's
# folder): the times drawn stay inside them.
KILL_POINTS = [("files", COPYING, _draw.randint(1, 8)), ("files", REMOVING, _draw.randint(4, 18)),
               ("seconds", REMOVING, round(_draw.uniform(0.0, 0.03), 3)),
               ("seconds", REGISTERING, round(_draw.uniform(0.05, 0.35), 2))]


@pytest.fixture(scope="module")
def payload_tree(tmp_path_factory):
    """What a complete install puts into the version folder, from the payload as 7zz unpacks it."""
    unpacked = tmp_path_factory.mktemp("payload")
    subprocess.run(["7zz", "x", "-y", f"-o{unpacked}", str(PAYLOAD)], check=True, capture_output=True)
    return installed_tree(unpacked)


def log_lines(prefix):
    path = install_log_path(prefix)
    return parse(path.read_bytes()) if path.exists() else []


def files_below(folder):
    """{path below `folder`: size} of every file, "/"-separated."""
    return {str(path.relative_to(folder)): path.stat().st_size for path in folder.rglob("*") if path.is_file()}


def count_files(folder):
    # os.walk passes over a folder removed while it is walked.
    return sum(len(files) for _, _, files in os.walk(folder))


def manifest_files(element, below=""):
    """{path: size} of the `file` elements of a manifest element, "/"-separated."""
    files = {}
    for child in element:
        path = f"{below}{child.attrib['name']}"
        if child.tag == "folder":
            files.update(manifest_files(child, path + "/"))
        else:
            files[path] = int(child.attrib["size"])
    return files


def read_manifest(path):
    # The declaration carries no version, which Python's parser refuses; the rest is plain XML.
    declaration, body = path.read_bytes().split(b"\r\n", 1)
    assert declaration == b"<?xml ?>"
    return manifest_files(ElementTree.fromstring(body))


def wait_until(condition, setup, what, timeout=120):
    deadline = time.monotonic() + timeout
    while not condition():
        assert setup.running(), f"the setup ended before {what}"
        assert time.monotonic() < deadline, f"no {what} within {timeout} s"
        time.sleep(0.002)


def phase_of(messages):
    phase = COPYING  # a first install goes from the extraction straight to the copy
    for line, name in PHASE_LINES:
        if any(m.startswith(line) for m in messages):
            phase = name
    return phase


def kill_point(trigger, phase, point):
    """The fault and how it was made, as the fault table names them."""
    if trigger == "files" and phase == COPYING:
        files = f"{point} file{'s' if point > 1 else ''}"
        return (f"setup killed while it copies files, {files} in the version folder",
                f"SIGKILL to the first install's processes once {files} {'was' if point == 1 else 'were'} in the "
                f"version folder")
    if trigger == "files":
        return (f"setup killed while it removes the installed version, {point} files left",
                f"SIGKILL to the processes of a second install over a complete one once the removal had left "
                f"{point} files in the version folder")
    return (f"setup killed while {phase}, {point} s in",
            f"SIGKILL to the processes of a second install over a complete one {point} s after it logged the start "
            f"of {phase}")


@pytest.mark.parametrize("trigger, phase, point", KILL_POINTS,
                         ids=[f"{phase}, {point} {trigger}" for trigger, phase, point in KILL_POINTS])
def test_a_killed_install_is_completed_by_the_next_run(prefix, run_setup, start_setup, payload_tree, tmp_path,
                                                       fault_row, trigger, phase, point):
    fault, made = kill_point(trigger, phase, point)
    row = fault_row(fault, f"{made} (drawn with seed {KILL_SEED}); the setup run again in the same prefix", CHECKED)
    folder = version_folder(prefix)
    # An acknowledging report server: complete runs need not wait out the telemetry shutdown.
    server = ReportServer(tmp_path)
    try:
        prefix.env["PELORA_REPORT_SERVER"] = server.address
        if phase != COPYING:
            assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED
        earlier = len(log_lines(prefix))
        setup = start_setup(prefix, *HIDDEN_MODE)
        linux_pid = setup.linux_pid()
        assert linux_pid, "the setup's Linux process was not found"
        if phase != COPYING:
            wait_until(lambda: any(line.message.startswith(FIRST_LINE[phase]) for line in log_lines(prefix)[earlier:]),
                       setup, f"the start of {phase}")
        if trigger == "files" and phase == COPYING:
            wait_until(lambda: count_files(folder) >= point, setup, f"{point} files in the version folder")
        elif trigger == "files":
            wait_until(lambda: count_files(folder) <= point, setup, f"{point} files left in the version folder")
        else:
            time.sleep(point)
            assert setup.running(), f"the setup ended within {point} s after the start of {phase}"
        killed_code, also_ended = setup.kill_at_once(linux_pid)
        at_kill = count_files(folder)
        killed_run = [line.message for line in log_lines(prefix)[earlier:]]
        rerun_code = run_setup(prefix, *HIDDEN_MODE, timeout=180)
    finally:
        server.stop()
    row.observed(f"killed while {phase_of(killed_run)}, {at_kill} files in the version folder, last log line "
                 f"{killed_run[-1].strip()[:60]!r}, programs it started ended: {', '.join(also_ended) or 'none'}, "
                 f"exit code Wine reports {killed_code}; rerun exit {rerun_code}")

    assert phase_of(killed_run) == phase, "the phase was over before the kill: draw another point"
    assert rerun_code == EXIT_FINISHED
    installed = files_below(folder)
    assert installed.pop(MANIFEST_NAME, None) is not None, "no manifest in the version folder"
    assert read_manifest(folder / MANIFEST_NAME) == installed
    assert sorted(installed) == sorted(payload_tree)
    assert [path for path, source in payload_tree.items() if not filecmp.cmp(source, folder / path, shallow=False)] \
        == []
    assert [name for name in PUBLIC_FILES
            if not filecmp.cmp(folder / "Bin" / name, product_root(prefix) / name, shallow=False)] == []
    key = reg_values(prefix, PRODUCT_KEY)
    assert key["Install"].lower() == windows_path_in(prefix, folder).lower()
    assert key["Version"] == VERSION
