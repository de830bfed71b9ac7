#!/usr/bin/env bash
# Times the setup program's extraction (extract_bench.exe under Wine) against `7zz x` of the same
# archive, in one run, and prints both and their ratio.
#   bench-extract.sh BUILD_DIR [ARCHIVE]
# ARCHIVE defaults to the benchmark payload, generated into BUILD_DIR/payload/bench when missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: bench-extract.sh BUILD_DIR [ARCHIVE]}
build=$(cd "$build" && pwd)
archive=${2:-$build/payload/bench/Setup.7z}
sevenzip=${SEVENZIP:-7zz}
if [ ! -f "$archive" ]; then
  python3 "$root/scripts/make-bench-payload.py" --sevenzip "$sevenzip" --out "$(dirname "$archive")"
fi
cmake --build "$build" --target extract_bench >/dev/null
bench_exe=$build/tests/extract/extract_bench.exe

work=$(mktemp -d "${TMPDIR:-/tmp}/pelora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
now_ms() { date +%s%3N; }

start=$(now_ms)
"$sevenzip" x -bd -bso0 -o"$work/7zz" "$archive"
sevenzip_ms=$(( $(now_ms) - start ))

# The program's side runs in a prefix of its own; its own clock leaves out Wine's start-up.
mkdir -p "$work/ours"
start=$(now_ms)
out=$("$root/scripts/wine-run.sh" "$bench_exe" "Z:$archive" "Z:$work/ours" | tr -d '\r')
wine_total_ms=$(( $(now_ms) - start ))
extract_ms=$(sed -n 's/.*extract_ms=\([0-9]*\).*/\1/p' <<<"$out")
result=$(sed -n 's/.*result=\([-0-9]*\).*/\1/p' <<<"$out")
[ "$result" = 0 ] || { echo "extraction failed: $out" >&2; exit 1; }
# Same files, same bytes (7zz also makes the empty folder entries, which the program skips).
sums() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 md5sum); }
[ "$(sums "$work/7zz")" = "$(sums "$work/ours")" ] || { echo "outputs differ" >&2; exit 1; }

unpacked=$(find "$work/ours" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
printf 'archive: %s (%d bytes packed, %d bytes unpacked)\n' "$archive" "$(stat -c %s "$archive")" "$unpacked"
printf '7zz x:              %6d ms\n' "$sevenzip_ms"
printf 'ExtractArchive:     %6d ms (inside the process; whole Wine run %d ms)\n' "$extract_ms" "$wine_total_ms"
awk -v a="$extract_ms" -v b="$sevenzip_ms" 'BEGIN { printf "ratio ExtractArchive / 7zz: %.2f\n", a / b }'
