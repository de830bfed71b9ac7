"""Copies of the setup program with another payload, as a packager might produce by mistake:
the tests put them in the prefix and run them like the real one."""

import shutil
import struct
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


def _resource_directory(program):
    """File offset of the resource directory of a PE image, and the function that maps an RVA
    inside the resource section to a file offset."""
    pe = struct.unpack_from("<I", program, 0x3C)[0]
    assert program[pe:pe + 4] == b"PE\0\0"
    sections, optional_size = struct.unpack_from("<H", program, pe + 6)[0], struct.unpack_from("<H", program, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", program, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva = struct.unpack_from("<I", program, directories + 2 * 8)[0]
    table = optional + optional_size
    for i in range(sections):
        virtual_size, virtual_address, _, raw_pointer = struct.unpack_from("<IIII", program, table + 40 * i + 8)
        if virtual_address <= resource_rva < virtual_address + virtual_size:
            return raw_pointer + resource_rva - virtual_address
    raise AssertionError("the program has no resource section")


def _id_entries(program, directory):
    """(file offset, id, points to a subdirectory, offset below the root) of the entries of a
    resource directory that are named by number."""
    named, numbered = struct.unpack_from("<HH", program, directory + 12)
    for i in range(named, named + numbered):
        at = directory + 16 + 8 * i
        name, target = struct.unpack_from("<II", program, at)
        yield at, name, bool(target & 0x80000000), target & 0x7FFFFFFF


def with_renumbered_resource(setup_exe, type_id, old_id, new_id, target):
    """Copies the setup program to `target` with one of its resources under another number, as
    if the resource had been left out of the build: the program no longer finds it."""
    program = bytearray(Path(setup_exe).read_bytes())
    root = _resource_directory(program)
    for _, kind, _, types in _id_entries(program, root):
        if kind != type_id:
            continue
        for at, name, _, _ in _id_entries(program, root + types):
            if name == old_id:
                struct.pack_into("<I", program, at, new_id)
                Path(target).write_bytes(program)
                return Path(target)
    raise AssertionError(f"no resource {type_id}/{old_id} in {setup_exe}")
