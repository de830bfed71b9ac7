#!/usr/bin/env bash
# Runs one Windows program under Wine in a prefix of its own and exits with its exit code (the low
# byte, as Linux sees it). The wineserver is started detached so that its inherited pipes do not
# keep CTest or pytest waiting, and it is stopped afterwards.
#   wine-run.sh [--prefix DIR] [--version VERSION] [--keep] PROGRAM [ARGS...]
# Without --prefix a fresh copy of the version's template is used and removed afterwards.
set -uo pipefail
source "$(dirname "$0")/wine-env.sh"
prefix="" version=win7 keep=0
while [ $# -gt 0 ]; do
  case $1 in
    --prefix) prefix=$2; shift 2;;
    --version) version=$2; shift 2;;
    --keep) keep=1; shift;;
    *) break;;
  esac
done
[ $# -ge 1 ] || { echo "usage: wine-run.sh [--prefix DIR] [--version V] [--keep] PROGRAM [ARGS...]" >&2; exit 2; }
own_prefix=0
if [ -z "$prefix" ]; then
  prefix=$(mktemp -d "${TMPDIR:-/tmp}/pelora-prefix.XXXXXX")
  "$(dirname "$0")/wine-copy-prefix.sh" "$prefix" "$version" >/dev/null || exit 2
  own_prefix=1
fi
export WINEPREFIX=$prefix
setsid wineserver -p </dev/null >/dev/null 2>&1 &
wine "$@"
rc=$?
wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
if [ $own_prefix = 1 ] && [ $keep = 0 ]; then rm -rf "$prefix"; fi
exit $rc
