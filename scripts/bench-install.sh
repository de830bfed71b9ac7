#!/usr/bin/env bash
# Times a whole installation of the benchmark payload (121 MiB unpacked, solid BCJ2+LZMA blocks
# of 16 MiB, scripts/make-bench-payload.py) four ways, each over N runs, and prints one table:
#   7zz x            the setup's own payload archive unpacked natively into a fresh folder
#   NSIS /S          an NSIS installer (solid LZMA) of the same files, run silently under Wine
#   noui, server     PeloraSetup.exe /mode:noui, tools/report_server.py acknowledging on loopback
#   noui, offline    the same, PELORA_REPORT_SERVER pointing at a loopback port nobody listens on
#
#   scripts/bench-install.sh [--runs N] [--arch i686|x86_64] [--cold-task-scheduler]
#
# --runs N       runs per case (default 3); the table gives median, min and max wall time, the
#                ratio of the median to that of `7zz x`, and the peak RSS (GNU time's %M, the
#                highest of the runs).
# --arch ARCH    i686 builds the shipped 32-bit program (preset mingw-bench); x86_64 (preset
#                mingw64-bench) is for machines whose kernel runs no 32-bit code. The default is
#                what scripts/test-arch.sh finds.
# --cold-task-scheduler  leave Wine's Task Scheduler service to be started by the setup's first
#                request (about a second inside the run) instead of starting it beforehand, as
#                Windows has it running from boot.
#
# It builds build/<arch>-bench (the preset without tests, with PELORA_BENCHMARK_PAYLOAD=ON), makes
# a win7 template prefix in a temporary folder and copies it afresh for every Wine run. A Wine
# run's time is the wall time of `wine PROGRAM` seen from the host, with the prefix's wineserver
# already running (persistent), Wine's services started and its desktop held open by a notepad:
# Wine's loader, the program's own process and whatever it waits for are measured; the prefix
# copy, the wineserver's start and the start of Wine's services and desktop are not. Under Wine
# the loader execs into the Windows process, so GNU time's peak RSS is the program's. A run counts
# only when it exited with 0 (for the setup, the low byte Wine returns: 1, -1 and 4660 all give
# other bytes) and left the payload's files in the install folder. Load, archive sizes and the
# install log's own phase timings are printed too, and for each setup case the timeline of its
# median run: the benchmark build (preset *-bench, PELORA_TRACE_MARKS) writes a mark for every
# install-log line and binary-log message to PELORA_TRACE_FILE, and scripts/bench-timeline.py
# prints every stretch of 20 ms or more between the start of `wine` and its end, so that the whole
# wall time is accounted for. This is a benchmark, not a test: it asserts
# nothing about the figures. Temporary files and prefixes live in one folder under $TMPDIR (or
# /tmp) that is removed at the end.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=3
schedule_service=running
arch=""
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2;;
    --arch) arch=$2; shift 2;;
    --cold-task-scheduler) schedule_service=on-demand; shift;;
    -h|--help) sed -n '2,/^set /p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0;;
    *) echo "usage: bench-install.sh [--runs N] [--arch i686|x86_64] [--cold-task-scheduler]" >&2; exit 2;;
  esac
done
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "--runs needs a positive number" >&2; exit 2; }
machine_arch=$(PELORA_TEST_ARCH="" "$root/scripts/test-arch.sh")
arch=${arch:-$machine_arch}
if [ "$arch" = i686 ] && [ "$machine_arch" != i686 ]; then
  echo "this machine runs no 32-bit programs under Wine: use --arch x86_64" >&2; exit 2
fi
case $arch in
  i686) preset=mingw-bench;;
  x86_64) preset=mingw64-bench;;
  *) echo "--arch is i686 or x86_64" >&2; exit 2;;
esac
# Debian's Python: the report server needs its protobuf module (python3-protobuf).
python=/usr/bin/python3
for tool in 7zz makensis /usr/bin/time cmake "$python" wineserver; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (run scripts/bootstrap.sh)" >&2; exit 1; }
done
case "${LC_ALL:-${LC_CTYPE:-${LANG:-}}}" in
  *UTF-8*|*utf8*) ;;
  *) export LC_ALL=C.UTF-8 LANG=C.UTF-8;;
esac

log() { printf '[bench] %s\n' "$*"; }
load() { printf '%s, %s cores' "$(cut -d' ' -f1-3 /proc/loadavg)" "$(nproc)"; }
now_ms() { date +%s%3N; }

work=$(mktemp -d "${TMPDIR:-/tmp}/pelora-bench-install.XXXXXX")
# The templates of this run only, of this architecture (wine-env.sh picks the loader from it).
export PELORA_TEST_ARCH=$arch PELORA_WINE_TEMPLATES=$work/templates
source "$root/scripts/wine-env.sh"
source "$root/scripts/xvfb.sh"
server_pid=""
active_prefix=""
cleanup() {
  if [ -n "$active_prefix" ]; then
    WINEPREFIX=$active_prefix wineserver -k 2>/dev/null
    WINEPREFIX=$active_prefix wineserver -w 2>/dev/null
  fi
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  pelora_xvfb_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
results=$work/results.tsv phases=$work/phases.tsv
: >"$results"; : >"$phases"

log "load at start: $(load)"

# --- the benchmark build -----------------------------------------------------------------------
build=$root/build/$arch-bench
log "building PeloraSetup in $build (preset $preset)"
(cd "$root" && cmake --preset "$preset" >/dev/null) || exit 1
cmake --build "$build" --target PeloraSetup >"$work/build.log" 2>&1 ||
  { tail -30 "$work/build.log" >&2; exit 1; }
setup=$build/app/PeloraSetup.exe
# The archive the resource script embeds, as the build tree's cache names it.
archive=$(sed -n 's/^PELORA_PAYLOAD_ARCHIVE:INTERNAL=//p' "$build/CMakeCache.txt")
[ -f "$archive" ] || { echo "no payload archive in $build" >&2; exit 1; }

# Runs a command timed and sets timed_wall (ms), timed_rss (KiB) and timed_status ("ok" or what
# went wrong); record() then keeps the run. A run that hangs (a message box in a hidden run) is
# stopped after RUN_LIMIT seconds.
#   timed FOLDER COMMAND...     (the command runs in FOLDER)
RUN_LIMIT=300
timed() {
  local folder=$1 start rc
  shift
  start=$(now_ms)
  (cd "$folder" &&
     /usr/bin/time -f %M -o "$work/rss" timeout -k 10 "$RUN_LIMIT" "$@" </dev/null >"$work/output" 2>&1)
  rc=$?
  timed_start=$start
  timed_end=$(now_ms)
  timed_wall=$(( timed_end - start ))
  timed_rss=$(tail -1 "$work/rss" 2>/dev/null | tr -dc 0-9)
  case $rc in
    0) timed_status=ok;;
    124|137) timed_status="stopped after $RUN_LIMIT s";;
    *) timed_status="exit code $rc";;
  esac
  [ $rc = 0 ] || tail -5 "$work/output" | sed 's/^/    /'
}

# Appends "CASE RUN WALL_MS RSS_KB STATUS" of the last timed run to the results.
record() {
  local case=$1 run=$2
  printf '%s\t%s\t%s\t%s\t%s\n' "$case" "$run" "$timed_wall" "${timed_rss:-0}" "$timed_status" \
    >>"$results"
  printf '  %-14s run %d: %6d ms, %s KiB, %s\n' "$case" "$run" "$timed_wall" "${timed_rss:-?}" \
    "$timed_status"
}

# --- a. 7zz x, native ----------------------------------------------------------------------------
log "7zz x of $archive"
tree=$work/tree
for run in $(seq "$runs"); do
  out=$work/7zz-$run
  timed "$work" 7zz x -bd -bso0 -o"$out" "$archive"
  record "7zz x" "$run"
  if [ "$run" = 1 ]; then mv "$out" "$tree"; else rm -rf "$out"; fi
done
[ -d "$tree" ] || { echo "7zz could not unpack the archive" >&2; exit 1; }
packed=$(stat -c %s "$archive")
unpacked=$(find "$tree" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
files=$(find "$tree" -type f | wc -l)
# The setup copies this part of the payload into its versioned folder under Corvane\Pelora\App.
product_files=$(find "$tree/program files/Corvane/Pelora" -type f | wc -l)

# --- b. the NSIS peer, built once ----------------------------------------------------------------
nsis=$work/nsis
mkdir -p "$nsis"
# The installer is built for the architecture the setup runs as, so both run under the same Wine.
if [ "$arch" = i686 ]; then nsis_target=x86-unicode; else nsis_target=amd64-unicode; fi
cat >"$nsis/bench.nsi" <<NSI
Target $nsis_target
Name "Pelora benchmark"
OutFile "$nsis/nsis-setup.exe"
SetCompressor /SOLID lzma
SilentInstall silent
RequestExecutionLevel user
InstallDir "\$APPDATA\\Corvane\\NsisBench"
Section
  SetOutPath "\$INSTDIR"
  File /r "$tree/*"
SectionEnd
NSI
log "building the NSIS installer (makensis, $nsis_target, solid LZMA, its default dictionary)"
start=$(now_ms)
makensis -V1 "$nsis/bench.nsi" >"$nsis/makensis.log" 2>&1 ||
  { tail -20 "$nsis/makensis.log" >&2; exit 1; }
log "makensis took $(( $(now_ms) - start )) ms;" \
  "installer $(stat -c %s "$nsis/nsis-setup.exe") bytes"

# --- the Wine cases ----------------------------------------------------------------------------
pelora_xvfb_start || exit 1
# The template is made now, before anything is timed.
"$root/scripts/wine-prefix.sh" win7 >/dev/null || exit 1

# One Wine run in a fresh copy of the template:
#   wine_case CASE RUN [--installs FOLDER COUNT] [VAR=VALUE...] -- PROGRAM [ARGS...]
# --installs: the run counts only when FOLDER (relative to the user's AppData\Roaming) then holds
# at least COUNT files, so that a quick exit that installed nothing is not taken for speed.
wine_case() {
  local case=$1 run=$2 prefix=$work/prefix installs="" expected=0
  shift 2
  if [ "$1" = --installs ]; then installs=$2 expected=$3; shift 3; fi
  local vars=()
  while [ "$1" != -- ]; do vars+=("$1"); shift; done
  shift
  "$root/scripts/wine-copy-prefix.sh" "$prefix" win7 >/dev/null || exit 1
  export WINEPREFIX=$prefix
  active_prefix=$prefix
  # Without -f the server puts itself in the background once its socket is ready.
  setsid wineserver -p </dev/null >/dev/null 2>&1
  # The first programs of a prefix start Wine's services and its desktop, and the desktop closes
  # a second after its last window: a notepad left open keeps it up, as on a real machine, and a
  # throwaway GUI program waits until it is there. None of that is measured.
  "$PELORA_WINE" notepad.exe </dev/null >/dev/null 2>&1 &
  "$PELORA_WINE" rundll32.exe </dev/null >/dev/null 2>&1
  # Windows runs the Task Scheduler service from boot; Wine starts it on the first request, which
  # costs the first program that asks (the setup's launch through a one-shot task) about a second.
  [ "$schedule_service" = running ] && "$PELORA_WINE" net start Schedule </dev/null >/dev/null 2>&1
  local caller=$prefix/drive_c/caller trace=$work/trace.txt
  mkdir -p "$caller"
  rm -f "$trace"
  # The benchmark build writes its timeline marks there (an NSIS run writes none).
  timed "$caller" env "${vars[@]}" PELORA_TRACE_FILE="$(windows_path "$trace")" "$PELORA_WINE" "$@"
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  active_prefix=""
  if [ -n "$installs" ] && [ "$timed_status" = ok ]; then
    local count
    count=$(find "$prefix"/drive_c/users/*/AppData/Roaming/"$installs" -type f 2>/dev/null | wc -l)
    [ "$count" -ge "$expected" ] || timed_status="installed $count of $expected files"
  fi
  record "$case" "$run"
  if [ -f "$trace" ]; then
    "$python" "$root/scripts/bench-timeline.py" "$timed_start" "$timed_end" "$trace" \
      >"$work/timeline-${case//[^a-z]/_}-$run.txt"
    printf '%s\t%s\t%s\n' "$case" "$run" "$timed_wall" >>"$work/timelines.tsv"
  fi
  # The logs of the setup (an NSIS run writes none): the install log and the binary log beside it.
  local logs install_log binary_text=""
  logs=$(find "$prefix/drive_c/users" -path '*/AppData/Roaming/Corvane/Logs' -type d | head -1)
  install_log=${logs:+$logs/PeloraInstall.txt}
  if [ -n "$install_log" ] && [ -f "$install_log" ]; then
    if [ -f "$logs/PeloraSetup.tlg" ]; then
      binary_text=$work/binary-log.txt
      "$python" "$root/tools/tlgdump.py" "$logs/PeloraSetup.tlg" >"$binary_text" 2>/dev/null
    fi
    "$python" "$root/scripts/bench-install-stats.py" phases "$install_log" $binary_text |
      while IFS=$'\t' read -r name ms; do
        printf '%s\t%s\t%s\t%s\n' "$case" "$run" "$name" "$ms" >>"$phases"
      done
  fi
  rm -rf "$prefix"
}

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
setup_windows=$(windows_path "$setup")
log "NSIS installer /S under Wine ($arch, win7)"
for run in $(seq "$runs"); do
  wine_case "NSIS /S" "$run" --installs Corvane/NsisBench "$files" \
    -- "$(windows_path "$nsis/nsis-setup.exe")" /S
done

log "PeloraSetup.exe /mode:noui, report server on loopback"
# Its generated schema module goes to a temporary folder; inside $work that goes with the rest.
TMPDIR=$work "$python" "$root/tools/report_server.py" "$work/reports.jsonl" \
  --host 127.0.0.1 --port 0 --mode ack --time-limit 7200 >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 300); do grep -q '^PORT ' "$work/server.out" && break; sleep 0.1; done
port=$(sed -n 's/^PORT //p' "$work/server.out")
[ -n "$port" ] || { echo "report server did not start: $(cat "$work/server.out")" >&2; exit 1; }
for run in $(seq "$runs"); do
  wine_case "noui, server" "$run" --installs Corvane/Pelora/App "$product_files" \
    PELORA_REPORT_SERVER="127.0.0.1:$port" -- "$setup_windows" /mode:noui
done
kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; server_pid=""
log "reports the server received: $(wc -l <"$work/reports.jsonl" 2>/dev/null || echo 0)"

# A port that was free a moment ago: connections to it are refused at once.
closed_port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])')
log "PeloraSetup.exe /mode:noui, offline (127.0.0.1:$closed_port, nothing listening)"
for run in $(seq "$runs"); do
  wine_case "noui, offline" "$run" --installs Corvane/Pelora/App "$product_files" \
    PELORA_REPORT_SERVER="127.0.0.1:$closed_port" -- "$setup_windows" /mode:noui
done

# --- summary -------------------------------------------------------------------------------------
echo
log "load at end: $(load)"
printf 'setup: %s (%s, %d bytes)\n' "$setup" "$arch" "$(stat -c %s "$setup")"
printf 'archive: %s\n  %d bytes packed, %d bytes unpacked in %d files\n' \
  "$archive" "$packed" "$unpacked" "$files"
cat <<TEXT
runs per case: $runs. Wine cases: wall time of \`wine PROGRAM\` seen from the host, in a fresh
prefix copy whose wineserver, services and desktop already ran (their start-up and the prefix
copy are not included; Wine's loader and the program's whole process are). Task Scheduler
service: $schedule_service (running = started before the clock, as on Windows).

TEXT
"$python" "$root/scripts/bench-install-stats.py" table "$results" "$phases"

# The timeline of each setup case's median run: every stretch of 20 ms or more from the start of
# `wine` to its end, named by the mark (install-log line, binary-log message) that ends it.
if [ -f "$work/timelines.tsv" ]; then
  cut -f1 "$work/timelines.tsv" | uniq | while read -r case; do
    median_run=$(awk -F'\t' -v c="$case" '$1 == c { print $3 "\t" $2 }' "$work/timelines.tsv" | sort -n |
      awk '{ runs[NR] = $2 } END { print runs[int((NR + 1) / 2)] }')
    echo
    echo "Timeline of \"$case\", run $median_run (the median's):"
    cat "$work/timeline-${case//[^a-z]/_}-$median_run.txt"
  done
fi
