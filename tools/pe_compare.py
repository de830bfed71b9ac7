#!/usr/bin/env python3
"""Compares two builds of a Windows program byte for byte and, when they differ, names where the
first difference lies: a field of the headers (the link time stamp, the checksum) or a section
(.text, .rdata, .rsrc ...), with the number of differing bytes in each part.

    pe_compare.py FIRST SECOND      exit 0 when identical, 1 when they differ, 2 on bad input
"""

import struct
import sys

# Offsets inside the COFF file header and the optional header of the fields a build may vary.
COFF_FIELDS = {4: ("TimeDateStamp", 4)}
OPTIONAL_FIELDS = {64: ("CheckSum", 4)}


def parts(data):
    """[(start, end, name)] of the headers' fields of interest, the headers and every section."""
    if data[:2] != b"MZ":
        raise ValueError("no MZ header")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE header")
    coff = pe + 4
    sections_count = struct.unpack_from("<H", data, coff + 2)[0]
    optional_size = struct.unpack_from("<H", data, coff + 16)[0]
    optional = coff + 20
    found = []
    for offset, (name, size) in COFF_FIELDS.items():
        found.append((coff + offset, coff + offset + size, f"file header {name}"))
    for offset, (name, size) in OPTIONAL_FIELDS.items():
        found.append((optional + offset, optional + offset + size, f"optional header {name}"))
    table = optional + optional_size
    headers_end = table + 40 * sections_count
    found.append((0, headers_end, "headers"))
    for index in range(sections_count):
        entry = table + 40 * index
        name = data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace")
        raw_size, raw_start = struct.unpack_from("<II", data, entry + 16)
        if raw_size:
            found.append((raw_start, raw_start + raw_size, f"section {name}"))
    return found


def where(offset, layout):
    """The most specific part that holds `offset`."""
    holding = [part for part in layout if part[0] <= offset < part[1]]
    if not holding:
        return "past the sections (overlay)"
    return min(holding, key=lambda part: part[1] - part[0])[2]


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    first, second = (open(path, "rb").read() for path in argv[1:])
    if first == second:
        print(f"identical: {len(first)} bytes")
        return 0
    try:
        layout = parts(first)
    except (ValueError, struct.error) as error:
        print(f"differ, and {argv[1]} is no program: {error}")
        return 1
    counts = {}
    first_offset = None
    for offset in range(min(len(first), len(second))):
        if first[offset] != second[offset]:
            first_offset = offset if first_offset is None else first_offset
            part = where(offset, layout)
            counts[part] = counts.get(part, 0) + 1
    if len(first) != len(second):
        print(f"differ in size: {len(first)} and {len(second)} bytes")
    if first_offset is not None:
        print(f"first difference at offset {first_offset:#x}, in the {where(first_offset, layout)}")
        for part, count in sorted(counts.items(), key=lambda item: -item[1]):
            print(f"  {count} bytes differ in the {part}")
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
