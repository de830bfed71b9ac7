#!/usr/bin/env python3
"""Generates a benchmark payload shaped like the real one and packs it like the real one.

  make-bench-payload.py --sevenzip 7zz --out DIR [--size-mb 128] [--source DIR]

203 files and 3 folder entries, about 128 MB unpacked, LZMA (8 MiB dictionary) with BCJ2 in solid blocks of at
most 16 MiB (eight here). Machine code comes from installed Windows binaries (Wine's PE DLLs by default), the
rest is text, manifests and already-compressed art, so the archive compresses like a product and
not like zeros. The output is deterministic for a given source folder. Writes DIR/layout and
DIR/Setup.7z.
"""
import argparse
import os
import random
import shutil
import subprocess

FILE_COUNT = 203
EMPTY_FOLDERS = ["program files/Corvane/Pelora/Log", "program files/Corvane/Pelora/Skin/Cache",
                 "CVSSO/CVSSO/Temp"]
DEFAULT_SOURCES = ["/usr/lib/x86_64-linux-gnu/wine/i386-windows",
                   "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"]


def standin_bytes(folder, name):
    """The stand-in of a program the setup runs (the launcher, the single-sign-on installer, the
    client, its libraries), so that the install does the same work as with the product. Bytes
    appended after it (an overlay) do not change what it does."""
    if not folder:
        return b""
    path = os.path.join(folder, os.path.basename(name))
    if not os.path.isfile(path):
        return b""
    with open(path, "rb") as f:
        return f.read()


def named_files():
    """The fixed names of the real layout, then product libraries to reach the file count."""
    names = []
    crt = "SysDir/Microsoft.VC80.CRT/"
    names += [crt + n for n in ["Microsoft.VC80.CRT.manifest", "msvcm80.dll", "msvcp80.dll",
                                "msvcr80.dll", "Microsoft.VC80.CRT.cat",
                                "policy.8.0.Microsoft.VC80.CRT.manifest",
                                "policy.8.0.Microsoft.VC80.CRT.cat"]]
    atl = "SysDir/Microsoft.VC80.ATL/"
    names += [atl + n for n in ["Microsoft.VC80.ATL.manifest", "ATL80.dll", "Microsoft.VC80.ATL.cat",
                                "policy.8.0.Microsoft.VC80.ATL.manifest",
                                "policy.8.0.Microsoft.VC80.ATL.cat"]]
    gdi = "SysDir/Microsoft.Windows.GdiPlus/"
    names += [gdi + n for n in ["gdiplus.dll", "Microsoft.Windows.GdiPlus.manifest",
                                "Microsoft.Windows.GdiPlus.cat"]]
    names += ["SysDir/vcredist_check.exe", "SysDir/sxs_cleanup.exe"]
    product = "program files/Corvane/Pelora/"
    bin_ = product + "Bin/"
    names += [bin_ + n for n in ["Pelora.exe", "PL.exe", "PeloraUninst.exe", "VTService.dll",
                                 "WebAPI.dll", "bugreport.exe", "tinyxml.dll", "libeay32.dll",
                                 "explorer.exe"]]
    names += [product + "WMSysPr9.prx"]
    for root in [product + "Misc/CVSSO/", "CVSSO/"]:
        names += [root + "InstCVSSO.exe", root + "CVSSO/cvsso.dll", root + "CVSSO/cvsso.ini",
                  root + "CVSSO/cvssoui.dll"]
    i = 0
    while len(names) < FILE_COUNT:
        kind = i % 4
        if kind == 0:
            names.append(bin_ + "PeloraMod%03d.dll" % i)
        elif kind == 1:
            names.append(product + "Skin/skin%03d.png" % i)
        elif kind == 2:
            names.append(product + "Config/part%03d.xml" % i)
        else:
            names.append(bin_ + "plugin%03d.dll" % i)
        i += 1
    return names


def pe_sources(folders):
    files = []
    for folder in folders:
        if not os.path.isdir(folder):
            continue
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            if name.endswith((".dll", ".exe")) and os.path.isfile(path) and os.path.getsize(path) > 4096:
                files.append(path)
    if not files:
        raise SystemExit("no Windows binaries found; pass --source")
    return files


def text_block(rng, size):
    words = ["Pelora", "Corvane", "stream", "room", "gift", "anchor", "render", "frame",
             "<item id=\"%d\"/>", "value=\"%d\"", "width", "height", "color", "#ff%04x", "\r\n"]
    out = []
    total = 0
    while total < size:
        w = rng.choice(words)
        if "%" in w:
            w = w % rng.randrange(65536)
        out.append(w + " ")
        total += len(w) + 1
    return "".join(out).encode("utf-8")[:size]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sevenzip", default="7zz")
    parser.add_argument("--out", required=True)
    parser.add_argument("--size-mb", type=float, default=128.0)
    parser.add_argument("--source", action="append")
    parser.add_argument("--standins", help="folder of the built stand-in programs: the payload's "
                        "programs that the setup starts or loads are those, padded to their size")
    args = parser.parse_args()

    rng = random.Random(2019)
    target = int(args.size_mb * 1000 * 1000)
    names = named_files()
    pe_files = pe_sources(args.source or DEFAULT_SOURCES)
    layout = os.path.join(args.out, "layout")
    shutil.rmtree(layout, ignore_errors=True)

    # Budgets: executables carry most bytes, as in the product; art is incompressible.
    exe_names = [n for n in names if n.endswith((".dll", ".exe", ".prx"))]
    png_names = [n for n in names if n.endswith(".png")]
    other_names = [n for n in names if n not in exe_names and n not in png_names]
    exe_share, png_share = 0.78, 0.10
    other_size = (target * (1 - exe_share - png_share)) / max(1, len(other_names))
    png_size = (target * png_share) / max(1, len(png_names))
    exe_budget = target * exe_share

    pe_cursor = 0
    written = 0
    for name in names:
        path = os.path.join(layout, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if name in exe_names:
            remaining_exes = len(exe_names) - exe_names.index(name)
            want = int(max(4096, exe_budget / remaining_exes))
            data = bytearray(standin_bytes(args.standins, name))
            while len(data) < want:
                with open(pe_files[pe_cursor % len(pe_files)], "rb") as f:
                    data += f.read(want - len(data))
                pe_cursor += 1
            exe_budget -= len(data)
        elif name in png_names:
            size = int(png_size * rng.uniform(0.5, 1.5))
            data = b"\x89PNG\r\n\x1a\n" + rng.randbytes(size)
        else:
            data = text_block(rng, int(other_size * rng.uniform(0.5, 1.5)))
        with open(path, "wb") as f:
            f.write(data)
        written += len(data)
    for folder in EMPTY_FOLDERS:
        os.makedirs(os.path.join(layout, folder), exist_ok=True)

    # Two builds of one commit give the same archive: every entry takes the commit's time and the
    # same permissions, and the archive keeps no creation or access times.
    epoch = int(subprocess.run([os.path.join(os.path.dirname(os.path.abspath(__file__)), "source-date-epoch.sh")],
                               check=True, capture_output=True, text=True).stdout)
    for folder, folders, files in os.walk(layout):
        for name in files:
            os.chmod(os.path.join(folder, name), 0o644)
        for name in folders:
            os.chmod(os.path.join(folder, name), 0o755)
    for folder, folders, files in os.walk(layout, topdown=False):
        for name in files + folders:
            os.utime(os.path.join(folder, name), (epoch, epoch))
    os.utime(layout, (epoch, epoch))

    # Files are listed one by one so that only the three empty folders become folder entries.
    listing = os.path.join(args.out, "files.txt")
    with open(listing, "w") as f:
        for name in names + EMPTY_FOLDERS:
            f.write(name + "\n")
    archive = os.path.join(args.out, "Setup.7z")
    for stale in (archive, archive + ".tmp"):
        if os.path.exists(stale):
            os.remove(stale)
    # Blocks of 16 MiB: the setup's workers take the blocks with the most packed bytes first, and
    # eight blocks let two workers end within a block of each other. Two blocks of 64 MiB left one
    # worker decoding the art and text alone for half a second (the archive is 1.8 % larger now).
    # An 8 MiB dictionary, as the product's packing has: the setup decodes blocks at once,
    # each with a window of the dictionary's size (7-Zip's default here, 32 MiB, held 64 MiB of the
    # setup's memory for about 1.5 % of the archive's size).
    subprocess.run([args.sevenzip, "a", "-t7z", "-bd", "-bso0", "-m0=LZMA:d=8m", "-mf=BCJ2", "-ms=16m",
                    "-mtm=on", "-mtc=off", "-mta=off", archive + ".tmp", "@" + listing], cwd=layout, check=True)
    os.replace(archive + ".tmp", archive)
    print("benchmark payload: %d files, %d folders, %d bytes unpacked, %d bytes packed"
          % (len(names), len(EMPTY_FOLDERS), written, os.path.getsize(archive)))


if __name__ == "__main__":
    main()
