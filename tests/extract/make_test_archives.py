#!/usr/bin/env python3
"""Builds the archives the extraction tests read, from the packed stand-in layout.

  make_test_archives.py SEVENZIP LAYOUT OUT

7-Zip refuses to store names that climb out of their folder, so the unsafe archives are made from
a harmless name of the same length whose bytes are then patched in the (uncompressed) header,
with both header CRCs recomputed.
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import zlib

SAFE_NAME = "zz/escape.txt"
UNSAFE_NAMES = {"dotdot.7z": "../escape.txt", "drive.7z": "C:/escape.txt", "rooted.7z": "/z/escape.txt"}


def run(sevenzip, cwd, *args):
    subprocess.run([sevenzip, *args], cwd=cwd, check=True, stdout=subprocess.DEVNULL)


def fix_header_crcs(data):
    offset, size = struct.unpack_from("<QQ", data, 12)
    header = bytes(data[32 + offset:32 + offset + size])
    struct.pack_into("<I", data, 28, zlib.crc32(header))
    struct.pack_into("<I", data, 8, zlib.crc32(bytes(data[12:32])))


def patched_name(source, old, new):
    data = bytearray(source)
    old_bytes, new_bytes = old.encode("utf-16-le"), new.encode("utf-16-le")
    assert len(old_bytes) == len(new_bytes) and data.count(old_bytes) == 1, old
    position = data.index(old_bytes)
    data[position:position + len(old_bytes)] = new_bytes
    fix_header_crcs(data)
    return bytes(data)


def main():
    sevenzip, layout, out = sys.argv[1:4]
    work = os.path.join(out, "work")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(work, "zz"))
    with open(os.path.join(work, "zz", "escape.txt"), "wb") as f:
        f.write(b"this file must never leave its folder\r\n")
    with open(os.path.join(work, "only.txt"), "wb") as f:
        f.write(b"a name without a folder\r\n")
    with open(os.path.join(work, "stored.bin"), "wb") as f:
        f.write(bytes(range(256)) * 16)
    long_folder = os.path.join(work, "long")
    os.makedirs(long_folder)
    with open(os.path.join(long_folder, "n" * 200 + ".txt"), "wb") as f:
        f.write(b"too long for the path buffer below a long target\r\n")

    def fresh(name):
        path = os.path.join(out, name)
        if os.path.exists(path):
            os.remove(path)
        return path

    # The unsafe names: stored, header uncompressed, so the name bytes can be found and patched.
    base = fresh("safe_name.7z")
    run(sevenzip, work, "a", "-t7z", "-m0=Copy", "-mhc=off", base, SAFE_NAME)
    with open(base, "rb") as f:
        safe = f.read()
    for archive, name in UNSAFE_NAMES.items():
        with open(fresh(archive), "wb") as f:
            f.write(patched_name(safe, SAFE_NAME, name))

    run(sevenzip, work, "a", "-t7z", "-m0=LZMA", fresh("single_name.7z"), "only.txt")
    run(sevenzip, work, "a", "-t7z", "-m0=LZMA", fresh("long_name.7z"), "long")

    # A method the decoder does not implement (Deflate): it answers with its own code 4.
    run(sevenzip, work, "a", "-t7z", "-m0=Deflate", fresh("deflate.7z"), "stored.bin")

    # One stored file with a flipped byte in its data (which starts right after the 32-byte
    # start header): the file's CRC no longer matches.
    flipped = fresh("crc_flip.7z")
    run(sevenzip, work, "a", "-t7z", "-m0=Copy", flipped, "stored.bin")
    with open(flipped, "r+b") as f:
        f.seek(32 + 100)
        byte = f.read(1)[0]
        f.seek(32 + 100)
        f.write(bytes([byte ^ 0xFF]))

    # The payload without msvcm80.dll, packed like the real one.
    run(sevenzip, layout, "a", "-t7z", "-m0=LZMA", "-mf=BCJ2", "-ms=on",
        "-x!SysDir/Microsoft.VC80.CRT/msvcm80.dll", fresh("no_msvcm80.7z"),
        "SysDir", "program files", "CVSSO")
    # The stand-in layout in two solid blocks, and what 7-Zip itself makes of that archive: the
    # reference for extracting two blocks at the same time.
    # 7-Zip also splits blocks by file type, so the block limit that gives two is searched for.
    two_blocks = fresh("two_blocks.7z")
    files = sum(len(names) for _, _, names in os.walk(layout))
    for limit in range(files // 2, 2 * files + 2):
        if os.path.exists(two_blocks):
            os.remove(two_blocks)
        run(sevenzip, layout, "a", "-t7z", "-m0=LZMA", "-mf=BCJ2", f"-ms={limit}f",
            two_blocks, "SysDir", "program files", "CVSSO")
        if block_count(sevenzip, two_blocks) == 2:
            break
    extract_reference(sevenzip, two_blocks, os.path.join(out, "two_blocks_7zz"))

    # Two blocks large enough that decoding each takes a good while: 8 files of 1 MiB per block,
    # text-like so that LZMA has work to do.
    large = os.path.join(work, "large")
    os.makedirs(large)
    rng = random.Random(2019)
    words = [bytes(rng.choices(range(32, 127), k=rng.randint(2, 9))) for _ in range(3000)]
    for i in range(16):
        content = b" ".join(rng.choices(words, k=200000))[:1 << 20]
        with open(os.path.join(large, f"part{i:02d}.bin"), "wb") as f:
            f.write(content)
    large_blocks = fresh("large_blocks.7z")
    run(sevenzip, large, "a", "-t7z", "-m0=LZMA", "-mf=BCJ2", "-ms=8f", "-mmt=2", large_blocks,
        *sorted(os.listdir(large)))
    extract_reference(sevenzip, large_blocks, os.path.join(out, "large_blocks_7zz"))
    shutil.rmtree(work)


def extract_reference(sevenzip, archive, folder):
    shutil.rmtree(folder, ignore_errors=True)
    subprocess.run([sevenzip, "x", "-bd", "-bso0", f"-o{folder}", archive], check=True)
    blocks = block_count(sevenzip, archive)
    assert blocks == 2, f"{archive} has {blocks} blocks, not 2"


def block_count(sevenzip, archive):
    listing = subprocess.run([sevenzip, "l", "-slt", archive], check=True, capture_output=True,
                             text=True).stdout
    return len({line.split(" = ")[1] for line in listing.splitlines() if line.startswith("Block = ")})


if __name__ == "__main__":
    main()
