"""Copies of the setup program with another payload, as a packager might produce by mistake:
the tests put them in the prefix and run them like the real one."""

import shutil
import struct
import subprocess
from pathlib import Path

from e2e_wine import windows_path

PAYLOAD_TYPE = "MSI"
PAYLOAD_ID = 2019
# The product's tree inside the payload, and the runtime assemblies whose files the extraction
# copies from SysDir next to the product's programs.
PRODUCT_TREE = Path("program files") / "Corvane" / "Pelora"
RUNTIME_FILES = {
    "Microsoft.VC80.CRT": ["Microsoft.VC80.CRT.manifest", "msvcm80.dll", "msvcp80.dll", "msvcr80.dll"],
    "Microsoft.VC80.ATL": ["Microsoft.VC80.ATL.manifest", "ATL80.dll"],
}


def crc_failing_flip(archive):
    """A copy of `archive` with one byte flipped in the part of its start header that the
    header's CRC-32 protects (the size of the archive's header): the archive's own checksum
    catches it before anything is decoded."""
    flipped = bytearray(archive)
    flipped[20] ^= 0x01
    return bytes(flipped)


def flipped_at(offset):
    """A flip of the lowest bit of the archive's byte at `offset`."""
    def flip(archive):
        flipped = bytearray(archive)
        flipped[offset] ^= 0x01
        return bytes(flipped)
    return flip


def with_flipped_payload(setup_exe, payload, target, flip=crc_failing_flip):
    """Copies the setup program to `target` with its embedded payload changed in place by `flip`
    (bytes flipped, same size, so nothing else in the program moves)."""
    program = bytearray(Path(setup_exe).read_bytes())
    archive = Path(payload).read_bytes()
    at = program.find(archive)
    assert at > 0, "the payload archive is not embedded verbatim in the program"
    damaged = flip(archive)
    assert len(damaged) == len(archive)
    program[at:at + len(archive)] = damaged
    Path(target).write_bytes(program)
    return Path(target)


SIGNATURE_HEADER_BYTES = 32


def solid_blocks(archive_path):
    """[(first byte, end) in the archive file, [entry paths]] of each solid block of a 7z
    archive, in block order, from 7zz's technical listing: a block's packed streams lie one
    after the other from the end of the signature header on, in block order, before the
    archive's own header."""
    listing = subprocess.run(["7zz", "l", "-slt", str(archive_path)], check=True, capture_output=True,
                             text=True).stdout
    entries = []
    for chunk in listing.split("\n\n"):
        fields = dict(line.split(" = ", 1) for line in chunk.splitlines() if " = " in line)
        if fields.get("Block", "").isdigit():
            entries.append(fields)
    packed = {}
    paths = {}
    for fields in entries:
        block = int(fields["Block"])
        paths.setdefault(block, []).append(fields["Path"])
        if fields.get("Packed Size", "").isdigit():
            packed[block] = int(fields["Packed Size"])  # given on the block's first entry only
    assert sorted(packed) == list(range(len(packed))), f"blocks without a packed size: {packed}"
    raw = Path(archive_path).read_bytes()
    next_header = SIGNATURE_HEADER_BYTES + struct.unpack_from("<Q", raw, 12)[0]
    blocks, start = [], SIGNATURE_HEADER_BYTES
    for block in sorted(packed):
        blocks.append(((start, start + packed[block]), paths[block]))
        start += packed[block]
    assert start <= next_header, f"the packed streams ({start}) run into the header ({next_header})"
    return blocks


def damaged_entries(archive_path):
    """The entries that 7zz's test of the archive reports as damaged (data or CRC errors)."""
    out = subprocess.run(["7zz", "t", str(archive_path)], capture_output=True, text=True)
    prefixes = ("ERROR: Data Error : ", "ERROR: CRC Failed : ", "ERROR: Unexpected end of data : ")
    return sorted({line.split(" : ", 1)[1] for line in (out.stdout + out.stderr).splitlines()
                   if line.startswith(prefixes)})


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


def installed_tree(unpacked):
    """{path below the version folder: file in `unpacked`} of what an install of a payload that
    7zz unpacked into `unpacked` puts into the version folder: the product's tree, with the
    runtime files in its Bin folder."""
    product = Path(unpacked) / PRODUCT_TREE
    tree = {str(path.relative_to(product)): path for path in product.rglob("*") if path.is_file()}
    for assembly, names in RUNTIME_FILES.items():
        for name in names:
            tree[f"Bin/{name}"] = Path(unpacked) / "SysDir" / assembly / name
    return tree
