#!/usr/bin/env bash
# Builds the setup program and runs it under Wine in a demo prefix of its own that persists
# between runs (build/demo-prefix), so an installation can be looked at and repeated.
#   scripts/run.sh [SETUP-OPTIONS...]        e.g. scripts/run.sh /mode:noui /src:vt
#   PELORA_DEMO_PREFIX=DIR   another prefix;   PELORA_DEMO_VERSION=winxp   its Windows version
#   scripts/run.sh --fresh [...]             start again from a clean prefix
# Both the shipped 32-bit program and the one this machine's Wine can execute are built; the
# latter runs. Without a display an Xvfb is started for the run and stopped afterwards.
set -uo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
source scripts/xvfb.sh
case "${LC_ALL:-${LC_CTYPE:-${LANG:-}}}" in
  *UTF-8*|*utf8*) ;;
  *) export LC_ALL=C.UTF-8 LANG=C.UTF-8;;
esac
log() { printf '[run] %s\n' "$*"; }

fresh=0
if [ "${1:-}" = --fresh ]; then fresh=1; shift; fi

cache=${PELORA_DEPS_CACHE:-$HOME/.cache/pelora-deps}
mkdir -p "$cache"
flock "$cache/.bootstrap.lock" scripts/bootstrap.sh || exit 1

test_arch=$(scripts/test-arch.sh)
preset_of() { if [ "$1" = i686 ]; then echo mingw; else echo mingw64; fi; }
build() {
  local arch=$1
  shift
  log "building $* for $arch"
  cmake --preset "$(preset_of "$arch")" >/dev/null || return 1
  cmake --build "build/$arch" --target "$@" || return 1
}
build i686 PeloraSetup || exit 1
if [ "$test_arch" != i686 ]; then
  build "$test_arch" PeloraSetup exitcode || exit 1
fi
setup=$here/build/$test_arch/app/PeloraSetup.exe
exitcode=$here/build/$test_arch/tools/exitcode.exe

source scripts/wine-env.sh
prefix=${PELORA_DEMO_PREFIX:-$here/build/demo-prefix}
version=${PELORA_DEMO_VERSION:-win7}
if [ $fresh = 1 ] || [ ! -f "$prefix/system.reg" ]; then
  log "making the demo prefix $prefix ($version)"
  scripts/wine-copy-prefix.sh "$prefix" "$version" >/dev/null || exit 1
fi
export WINEPREFIX=$prefix

pelora_xvfb_start || exit 1
if [ -n "${PELORA_XVFB_PID:-}" ]; then
  log "no display: using Xvfb on $DISPLAY"
  case " ${*,,} " in
    *" /mode:noui "*) ;;
    *) log "nobody can click on that display: an interactive run waits until stopped (Ctrl-C);" \
           "pass /mode:noui for a run that ends by itself";;
  esac
fi
finish() {
  # Nothing can be seen on a virtual display, so nothing the setup started is left running there.
  [ -n "${PELORA_XVFB_PID:-}" ] && wineserver -k 2>/dev/null
  pelora_xvfb_stop
}
trap finish EXIT
trap 'exit 130' INT TERM

log "running $(basename "$setup") $* (WINEPREFIX=$prefix)"
if [ -f "$exitcode" ]; then
  # exitcode.exe reports the full 32-bit exit code (-1 for a refused start), not just its low byte.
  # Its output goes to a file: Wine's helper processes inherit it and would hold a pipe open.
  output=$(mktemp)
  wine "$exitcode" "Z:${setup//\//\\}" "$@" >"$output"
  rc=$?
  code=$(tail -1 "$output" | tr -d '\r')
  rm -f "$output"
  [ $rc = 0 ] || code=$rc
else
  wine "$setup" "$@"
  code=$?
  rc=0
fi
log "PeloraSetup.exe exited with $code"
log "install log: $prefix/drive_c/users/$(id -un)/AppData/Roaming/Corvane/Logs/PeloraInstall.txt"
[[ $code =~ ^-?[0-9]+$ ]] || exit 2
exit $(( code & 255 ))
