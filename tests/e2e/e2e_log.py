"""The install log as the setup writes it: UTF-16LE with one byte-order mark, a plain
concatenation of lines that each begin with a local-time stamp "[y:m:d:h:m:s]"."""

import re
from dataclasses import dataclass

# No zero padding: month and day never start with 0, hours, minutes and seconds only when 0.
STAMP = re.compile(r"\[(\d{4}):([1-9]\d?):([1-9]\d?):(0|[1-9]\d?):(0|[1-9]\d?):(0|[1-9]\d?)\]")
BOM = b"\xff\xfe"


@dataclass
class LogLine:
    stamp: tuple  # (year, month, day, hour, minute, second)
    message: str


class InstallLogFormatError(AssertionError):
    pass


def parse(raw):
    """Splits the bytes of an install log into stamped lines; raises InstallLogFormatError when
    the file is not what the setup writes (no or a second byte-order mark, odd length, text
    before the first stamp)."""
    if not raw.startswith(BOM):
        raise InstallLogFormatError(f"no UTF-16LE byte-order mark at the start: {raw[:8]!r}")
    if len(raw) % 2:
        raise InstallLogFormatError(f"odd length {len(raw)}: not UTF-16")
    text = raw[2:].decode("utf-16-le")
    if "\ufeff" in text:
        raise InstallLogFormatError(f"a second byte-order mark at character {text.index(chr(0xfeff))}")
    if "\0" in text:
        raise InstallLogFormatError("a NUL character in the log text")
    starts = [m for m in STAMP.finditer(text)]
    if text and (not starts or starts[0].start() != 0):
        raise InstallLogFormatError(f"text before the first stamp: {text[:60]!r}")
    lines = []
    for i, match in enumerate(starts):
        end = starts[i + 1].start() if i + 1 < len(starts) else len(text)
        lines.append(LogLine(tuple(int(g) for g in match.groups()), text[match.end():end]))
    return lines
