#!/usr/bin/env bash
# Builds the shipped 32-bit setup program a second time, from a clean copy of the tree in another
# folder, and compares the two byte for byte (tools/pe_compare.py names the first differing part
# when they differ). The copy holds the tracked files as they are now, so an uncommitted change is
# built too; it has no git history, so it takes the commit's time that the first build recorded.
#   check-reproducible.sh [FIRST_BUILD_DIR]       (default build/i686, built by scripts/test.sh)
# Exit 0 when the two are identical, 1 when they differ or the second build fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
first_build=${1:-$root/build/i686}
first=$first_build/app/PeloraSetup.exe
epoch_file=$first_build/payload/source-date-epoch
[ -f "$first" ] && [ -f "$epoch_file" ] || { echo "check-reproducible: build $first_build first" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/pelora-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"
(cd "$root" && git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf -) | tar -xf - -C "$work/src"

export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(cat "$epoch_file")
# Configured as the first build was (where this machine runs 32-bit code, that one has the tests
# too); only the setup program is built.
tests=$(sed -n 's/^PELORA_BUILD_TESTS:BOOL=//p' "$first_build/CMakeCache.txt")
log=$work/build.log
if ! (cd "$work/src" && cmake --preset mingw -DPELORA_BUILD_TESTS="${tests:-OFF}" &&
      cmake --build build/i686 --target PeloraSetup) \
    >"$log" 2>&1; then
  tail -30 "$log" >&2
  echo "check-reproducible: the second build failed" >&2
  exit 1
fi
echo "check-reproducible: $first against a build in $work/src"
python3 "$root/tools/pe_compare.py" "$first" "$work/src/build/i686/app/PeloraSetup.exe"
