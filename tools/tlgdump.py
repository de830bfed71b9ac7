#!/usr/bin/env python3
"""Decodes a binary log (.tlg) of the setup program into one readable line per record.

Each line shows the local time, the level, the process and thread ids, the source file and line,
the function, the category and the message. A record that cannot be read is reported with its file
offset; the exit status is then 1. With --json every record (and every damage report) is printed as
one JSON object per line instead.

Usage: tlgdump.py [--json] FILE...
"""

import argparse
import datetime
import json
import struct
import sys

# The XOR masks of the scrambled category and message; diag/cvlog_record.cpp holds the same table.
MASKS = (
    0x6244, 0x0927, 0xC31F, 0x3B8E, 0xBC4B, 0x06A4, 0x910E, 0x8E7C,
    0x77D9, 0x36DD, 0xE784, 0xD2EF, 0xDA94, 0x2030, 0x764A, 0xFD11,
    0xB788, 0x673F, 0x8651, 0xDEE0, 0xA466, 0x6779, 0x7DCF, 0xB30D,
    0xCF8D, 0xD836, 0x69E5, 0x138E, 0x9ED9, 0xF921, 0x0C25, 0x0F3D,
    0x0B2F, 0x0232, 0xAE29, 0x40D9, 0x3227, 0x0F38, 0x1155, 0x655E,
    0x852A, 0x2EC8, 0x8634, 0x0E45, 0xB5AF, 0x3D78, 0xD618, 0x96EB,
    0x856F, 0xF553, 0xB79C, 0x7559, 0x0312, 0x0537, 0x7104, 0x24E5,
    0xDE3C, 0x5721, 0x1FB8, 0x5F68, 0x0CED, 0x9E2D, 0x2A9F, 0xC6DA,
)

HEADER_SIZE = 168
# total, level, line, pid, tid, tick, attachment length, reserved, wall seconds, perf counter,
# cookie, start tick, function/category/message/attachment offsets.
HEADER = struct.Struct("<IiIIIIIIqqIIHHHH")
MODULE_ADDRESS_AT, MODULE_ADDRESS_CHARS = 64, 20
SOURCE_FILE_AT, SOURCE_FILE_CHARS = 104, 32


class Damage(Exception):
    """A record that cannot be read; `resumable` when the next record can still be found."""

    def __init__(self, reason, resumable):
        super().__init__(reason)
        self.reason = reason
        self.resumable = resumable


def _units(block, start, end):
    """The 16-bit units of block[start:end]."""
    count = (end - start) // 2
    return struct.unpack_from("<%dH" % count, block, start)


def _to_text(units):
    return struct.pack("<%dH" % len(units), *units).decode("utf-16-le", errors="replace")


def _plain(block, start, end, what):
    units = _units(block, start, end)
    for index, unit in enumerate(units):
        if unit == 0:
            return _to_text(units[:index])
    raise Damage("unterminated %s at record offset %d" % (what, start), True)


def _scrambled(block, start, end, what):
    units = _units(block, start, end)
    for index, unit in enumerate(units):
        plain = unit ^ MASKS[index % len(MASKS)]
        if plain == 0:
            return _to_text([u ^ MASKS[i % len(MASKS)] for i, u in enumerate(units[:index])])
    raise Damage("unterminated scrambled %s at record offset %d" % (what, start), True)


def scramble(text):
    """The stored units of `text` with its terminator slot, as the writer lays them out."""
    encoded = text.encode("utf-16-le")
    units = list(struct.unpack("<%dH" % (len(encoded) // 2), encoded)) + [0]
    return [unit ^ MASKS[i % len(MASKS)] for i, unit in enumerate(units)]


def decode_record(block):
    """Decodes one whole record (its declared length of bytes) into a dict."""
    (total, level, line, pid, tid, tick, attachment_length, reserved, wall_seconds, perf_counter,
     cookie, start_tick, function_at, category_at, message_at, attachment_at) = \
        HEADER.unpack_from(block, 0)
    if not HEADER_SIZE <= function_at < category_at < message_at < total:
        raise Damage("bad string offsets (function %d, category %d, message %d, length %d)"
                     % (function_at, category_at, message_at, total), True)
    if attachment_length and not message_at < attachment_at <= total - attachment_length:
        raise Damage("bad attachment (offset %d, length %d, record length %d)"
                     % (attachment_at, attachment_length, total), True)
    message_end = attachment_at if attachment_length else total
    return {
        "length": total,
        "level": level,
        "line": line,
        "pid": pid,
        "tid": tid,
        "tick": tick,
        "wall_seconds": wall_seconds,
        "perf_counter": perf_counter,
        "cookie": cookie,
        "process_start_tick": start_tick,
        "attachment_length": attachment_length,
        "module_address": _plain(block, MODULE_ADDRESS_AT,
                                 MODULE_ADDRESS_AT + 2 * MODULE_ADDRESS_CHARS, "module address"),
        "source_file": _plain(block, SOURCE_FILE_AT, SOURCE_FILE_AT + 2 * SOURCE_FILE_CHARS,
                              "source file name"),
        "function": _plain(block, function_at, category_at, "function name"),
        "category": _scrambled(block, category_at, message_at, "category"),
        "message": _scrambled(block, message_at, message_end, "message"),
    }


def iter_records(data):
    """Yields (offset, record dict) for good records and (offset, Damage) for damaged ones."""
    offset = 0
    while offset < len(data):
        left = len(data) - offset
        if left < HEADER_SIZE:
            yield offset, Damage("truncated file: %d bytes left, a record needs at least %d"
                                 % (left, HEADER_SIZE), False)
            return
        total = struct.unpack_from("<I", data, offset)[0]
        if total < HEADER_SIZE or total % 4:
            yield offset, Damage("bad record length %d" % total, False)
            return
        if total > left:
            yield offset, Damage("truncated record: length %d but only %d bytes left"
                                 % (total, left), False)
            return
        try:
            yield offset, decode_record(data[offset:offset + total])
        except Damage as damage:
            yield offset, damage
        offset += total


def local_time(seconds):
    try:
        return datetime.datetime.fromtimestamp(seconds).strftime("%Y-%m-%d %H:%M:%S")
    except (OverflowError, OSError, ValueError):
        return "@%d" % seconds


def format_line(record):
    return "%s L%d pid=%d tid=%d %s:%d %s [%s] %s" % (
        local_time(record["wall_seconds"]), record["level"], record["pid"], record["tid"],
        record["source_file"], record["line"], record["function"], record["category"],
        record["message"])


def dump(path, as_json, out):
    """Prints the records of one file; returns the number of damaged records found."""
    with open(path, "rb") as stream:
        data = stream.read()
    damaged = 0
    for offset, item in iter_records(data):
        if isinstance(item, Damage):
            damaged += 1
            if as_json:
                out.write(json.dumps({"file": path, "offset": offset, "damage": item.reason},
                                     ensure_ascii=False) + "\n")
            else:
                out.write("%s: damaged record at offset %d: %s\n" % (path, offset, item.reason))
            continue
        if as_json:
            item = dict(item, offset=offset, time=local_time(item["wall_seconds"]))
            out.write(json.dumps(item, ensure_ascii=False) + "\n")
        else:
            out.write(format_line(item) + "\n")
    return damaged


def main(argv=None):
    parser = argparse.ArgumentParser(description="Decode binary setup logs (.tlg).")
    parser.add_argument("--json", action="store_true",
                        help="print one JSON object per record (and per damaged record)")
    parser.add_argument("files", nargs="+", metavar="FILE")
    args = parser.parse_args(argv)
    out = sys.stdout
    if hasattr(out, "reconfigure"):
        out.reconfigure(encoding="utf-8", errors="replace")
    status = 0
    for path in args.files:
        try:
            if dump(path, args.json, out):
                status = 1
        except BrokenPipeError:
            return status
        except OSError as error:
            sys.stderr.write("tlgdump: %s: %s\n" % (path, error.strerror or error))
            status = 2
    return status


if __name__ == "__main__":
    sys.exit(main())
