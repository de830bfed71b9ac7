"""Copies of the setup program with another payload, as a packager might produce by mistake:
the tests put them in the prefix and run them like the real one."""

import shutil
from pathlib import Path

from e2e_wine import windows_path

PAYLOAD_TYPE = "MSI"
PAYLOAD_ID = 2019


def crc_failing_flip(archive):
    """A copy of `archive` with one byte flipped in the part of its start header that the
    header's CRC-32 protects (the size of the archive's header): the archive's own checksum
    catches it before anything is decoded."""
    flipped = bytearray(archive)
    flipped[20] ^= 0x01
    return bytes(flipped)


def with_flipped_payload(setup_exe, payload, target):
    """Copies the setup program to `target` with one byte of its embedded payload flipped in
    place (same size, so nothing else in the program moves)."""
    program = bytearray(Path(setup_exe).read_bytes())
    archive = Path(payload).read_bytes()
    at = program.find(archive)
    assert at > 0, "the payload archive is not embedded verbatim in the program"
    program[at:at + len(archive)] = crc_failing_flip(archive)
    Path(target).write_bytes(program)
    return Path(target)


def with_replaced_payload(prefix, tools, setup_exe, archive, target):
    """Copies the setup program to `target` and replaces its payload resource with `archive`,
    through the resource update functions of Windows."""
    shutil.copyfile(setup_exe, target)
    result = prefix.run(tools.path("set_resource"), windows_path(target), PAYLOAD_TYPE, str(PAYLOAD_ID),
                        windows_path(archive), timeout=60)
    assert result.returncode == 0, result.stderr.decode(errors="replace")
    return Path(target)
