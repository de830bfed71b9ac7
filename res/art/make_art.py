#!/usr/bin/env python3
"""Draws the art of the setup window and the uninstall window from art.toml: one PNG per resource id ("165.png", ...) and the
window icon ("107.ico" with 16, 32, 48 and 256 pixel images).

    make_art.py --out DIR [--description art.toml]   # write every file into DIR
    make_art.py --list [--description art.toml]      # print the file names, one a line

The output depends on the description alone: the same description gives the same bytes on every
run (no time stamps, no random numbers), so the build can regenerate it freely."""

import argparse
import io
import struct
import sys
import tomllib
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

# Button faces, drawn once per state by the section's kind: kind -> drawing function in art_pieces.
FACE_KINDS = {"gradient": "gradient_face", "solid": "solid_face", "outline": "outline_face",
              "close": "close_glyph", "minimise": "minimise_glyph"}
# Sections with a single image: section name -> drawing function name in art_pieces.
SINGLE_PIECES = {"background": "background", "logo": "logo", "unused_logo": "logo",
                 "abort_logo": "abort_logo", "unused_bar": "unused_bar",
                 "uninstall_background": "background", "uninstall_logo": "logo"}
# Sections of small parts drawn per state without the state colour rules.
STATE_PIECES = {"check_box": "check_box", "link_icon": "link_icon"}


def load(path):
    with open(path, "rb") as file:
        return tomllib.load(file)


def _drawn(function, *args):
    """A job that calls art_pieces.function(*args) when run. Only drawing needs Pillow; listing
    the file names does not."""
    def run():
        try:
            import art_pieces
        except ImportError as error:
            raise SystemExit(f"{error}: the art is drawn with Pillow, Debian's python3-pil "
                             "(scripts/bootstrap.sh installs it for /usr/bin/python3)")
        return getattr(art_pieces, function)(*args)
    return run


def plan(description):
    """[(file name, job that draws it)], one per resource file, in the description's order."""
    palette, states = description["palette"], description["states"]
    jobs = [(f"{description[name]['id']}.png", _drawn(function, description[name], palette))
            for name, function in SINGLE_PIECES.items()]
    for look in description.values():
        if isinstance(look, dict) and look.get("kind") in FACE_KINDS:
            draw = FACE_KINDS[look["kind"]]
            jobs += [(f"{resource_id}.png", _drawn(draw, look, palette, states, state))
                     for state, resource_id in look["ids"].items()]
    for name, function in STATE_PIECES.items():
        look = description[name]
        jobs += [(f"{resource_id}.png", _drawn(function, look, palette, state))
                 for state, resource_id in look["ids"].items()]
    icon = description["icon"]
    images = [_drawn("icon_image", icon, palette, side) for side in icon["sizes"]]
    jobs.append((f"{icon['id']}.ico", lambda: icon_file([draw() for draw in images])))
    names = [name for name, _ in jobs]
    duplicates = sorted({name for name in names if names.count(name) > 1})
    if duplicates:
        raise SystemExit(f"art.toml gives more than one piece the file {', '.join(duplicates)}")
    return jobs


def png_bytes(image):
    buffer = io.BytesIO()
    image.save(buffer, "PNG", compress_level=9)
    return buffer.getvalue()


def _bitmap_entry(image):
    """An icon image as a 32-bit DIB: header (double height), bottom-up BGRA rows, then the AND
    mask (1 where the pixel is mostly transparent) for systems that ignore the alpha."""
    side = image.width
    header = struct.pack("<IiiHHIIiiII", 40, side, side * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = image.load()
    colour_rows = bytearray()
    mask_rows = bytearray()
    mask_stride = ((side + 31) // 32) * 4
    for y in reversed(range(side)):
        mask_row = bytearray(mask_stride)
        for x in range(side):
            red, green, blue, alpha = pixels[x, y]
            colour_rows += bytes((blue, green, red, alpha))
            if alpha < 128:
                mask_row[x // 8] |= 0x80 >> (x % 8)
        mask_rows += mask_row
    return header + bytes(colour_rows) + bytes(mask_rows)


def icon_file(images):
    """An .ico with one entry per image: PNG-compressed at 256 pixels, DIBs below (what every
    Windows version since 2000 reads)."""
    entries = [(image.width, png_bytes(image) if image.width >= 256 else _bitmap_entry(image))
               for image in images]
    directory = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    data = b""
    for side, payload in entries:
        directory += struct.pack("<BBBBHHII", side % 256, side % 256, 0, 0, 1, 32, len(payload), offset)
        offset += len(payload)
        data += payload
    return directory + data


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--description", type=Path, default=HERE / "art.toml")
    parser.add_argument("--out", type=Path)
    parser.add_argument("--list", action="store_true", help="print the file names and stop")
    args = parser.parse_args()
    description = load(args.description)
    if args.list:
        print("\n".join(name for name, _ in plan(description)))
        return
    if not args.out:
        parser.error("--out or --list is required")
    args.out.mkdir(parents=True, exist_ok=True)
    for name, draw in plan(description):
        result = draw()
        (args.out / name).write_bytes(result if isinstance(result, bytes) else png_bytes(result))


if __name__ == "__main__":
    main()
