#!/usr/bin/env bash
# Lays out the stand-in product below OUT/layout exactly as the payload's staging layout and packs
#   OUT/Setup.7z            7z, LZMA with the BCJ2 filter, solid (resource MSI 2019)
#   OUT/MivoVistaHelper.7z  7z, LZMA with the BCJ filter, the one helper DLL (resource MSI 2031)
# The runtime assemblies, GDI+ and the product's libraries are small data files with the real
# names; the programs the setup starts or loads are the stand-ins built in STANDINS.
# Two builds of one commit give the same archives: every file and folder takes the commit's time
# (scripts/source-date-epoch.sh, also written to OUT/source-date-epoch) and the same permissions,
# and the archives keep no creation or access times. The times become the installed files' times.
#   pack-payload.sh SEVENZIP STANDINS OUT
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: pack-payload.sh SEVENZIP STANDINS OUT" >&2; exit 2; }
sevenzip=$1 standins=$2 out=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
epoch=$("$here/source-date-epoch.sh")
layout=$out/layout
rm -rf "$layout"
mkdir -p "$layout"
# Only modification times, taken as they are set below.
times=(-mtm=on -mtc=off -mta=off)

# Every entry below FOLDER gets the same permissions and the commit's time.
settle() {
  find "$1" -type d -exec chmod 0755 {} + -o -type f -exec chmod 0644 {} +
  find "$1" -exec touch -h -d "@$epoch" {} +
}

# A small data file whose content names it, so that a test can tell files apart.
data_file() {
  mkdir -p "$(dirname "$layout/$1")"
  printf 'Pelora payload stand-in: %s\r\n' "$1" > "$layout/$1"
}
standin() {  # standin NAME DEST
  mkdir -p "$(dirname "$layout/$2")"
  cp "$standins/$1" "$layout/$2"
}

crt=SysDir/Microsoft.VC80.CRT
for f in Microsoft.VC80.CRT.manifest msvcm80.dll msvcp80.dll msvcr80.dll Microsoft.VC80.CRT.cat \
         policy.8.0.Microsoft.VC80.CRT.manifest policy.8.0.Microsoft.VC80.CRT.cat; do
  data_file "$crt/$f"
done
atl=SysDir/Microsoft.VC80.ATL
for f in Microsoft.VC80.ATL.manifest ATL80.dll Microsoft.VC80.ATL.cat \
         policy.8.0.Microsoft.VC80.ATL.manifest policy.8.0.Microsoft.VC80.ATL.cat; do
  data_file "$atl/$f"
done
gdiplus=SysDir/Microsoft.Windows.GdiPlus
for f in gdiplus.dll Microsoft.Windows.GdiPlus.manifest Microsoft.Windows.GdiPlus.cat; do
  data_file "$gdiplus/$f"
done
data_file SysDir/vcredist_check.exe
data_file SysDir/sxs_cleanup.exe

product="program files/Corvane/Pelora"
bin=$product/Bin
standin Pelora.exe "$bin/Pelora.exe"
standin PL.exe "$bin/PL.exe"
standin PeloraUninst.exe "$bin/PeloraUninst.exe"
standin VTService.dll "$bin/VTService.dll"
standin WebAPI.dll "$bin/WebAPI.dll"
standin bugreport.exe "$bin/bugreport.exe"
standin explorer.exe "$bin/explorer.exe"
for f in tinyxml.dll libeay32.dll PeloraCore.dll PeloraMedia.dll PeloraUI.dll; do
  data_file "$bin/$f"
done
data_file "$product/WMSysPr9.prx"

# The single-sign-on component, in the product tree and once more as the fallback copy.
for root in "$product/Misc/CVSSO" CVSSO; do
  standin InstCVSSO.exe "$root/InstCVSSO.exe"
  data_file "$root/CVSSO/cvsso.dll"
  data_file "$root/CVSSO/cvsso.ini"
done

settle "$layout"
helper=$out/helper-layout
rm -rf "$helper"
mkdir -p "$helper"
cp "$standins/MivoVistaHelper.dll" "$helper/"
settle "$helper"

rm -f "$out/Setup.7z.tmp" "$out/MivoVistaHelper.7z.tmp"
# Two solid blocks, as the product's payload has: 7-Zip also splits by file type, so the number of
# files per block that gives two is searched for. The dictionary is at most 8 MiB: the setup decodes
# both blocks at once, each with a window of that size (a smaller payload gets a smaller one).
files=$(find "$layout" -type f | wc -l)
for ((limit = files / 2; limit <= 2 * files + 2; limit++)); do
  rm -f "$out/Setup.7z.tmp"
  (cd "$layout" && "$sevenzip" a -t7z -bd -bso0 -m0=LZMA:d=8m -mf=BCJ2 -ms=${limit}f "${times[@]}" \
    "$out/Setup.7z.tmp" SysDir "program files" CVSSO)
  blocks=$("$sevenzip" l -slt "$out/Setup.7z.tmp" | sed -n 's/^Block = \([0-9]\+\)$/\1/p' | sort -u | wc -l)
  [ "$blocks" = 2 ] && break
done
[ "$blocks" = 2 ] || { echo "pack-payload: no block limit gives two solid blocks" >&2; exit 1; }
(cd "$helper" && "$sevenzip" a -t7z -bd -bso0 -m0=LZMA -mf=BCJ -ms=off "${times[@]}" \
  "$out/MivoVistaHelper.7z.tmp" MivoVistaHelper.dll)
mv -f "$out/Setup.7z.tmp" "$out/Setup.7z"
mv -f "$out/MivoVistaHelper.7z.tmp" "$out/MivoVistaHelper.7z"
echo "$epoch" > "$out/source-date-epoch"
