#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests (CTest, GoogleTest under Wine) and the
# pytest suites under tests/ (end-to-end tests of the setup program in tests/e2e among them).
#   scripts/test.sh [PYTEST-ARGS...]
# The shipped 32-bit tree (build/i686) is built as a compile check; the tests run on the tree of
# the architecture this machine's Wine executes (scripts/test-arch.sh). Exits non-zero when any
# build or test failed, after a one-line summary.
set -uo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
source scripts/xvfb.sh

# Wine turns command-line text into UTF-16 with the locale's character set; the tests pass
# Chinese texts, so a UTF-8 locale is required.
case "${LC_ALL:-${LC_CTYPE:-${LANG:-}}}" in
  *UTF-8*|*utf8*) ;;
  *) export LC_ALL=C.UTF-8 LANG=C.UTF-8;;
esac

started=$(date +%s)
failures=()
results=()
phases=()   # "name seconds", for the summary
phase() { phases+=("$1 $2s"); }
log() { printf '[test] %s\n' "$*"; }
elapsed() { local s=$(( $(date +%s) - started )); printf '%dm%02ds' $((s / 60)) $((s % 60)); }

# Everything the run creates in the temporary folder (template prefixes, the per-test prefixes of
# CTest and pytest) lives below one folder, so that stray Wine processes can be found and the
# folder removed at the end.
run_root=$(mktemp -d "${TMPDIR:-/tmp}/pelora-test.XXXXXX")
export TMPDIR=$run_root
export PELORA_WINE_TEMPLATES=$run_root/templates

stop_stray_wine() {
  # Only wine processes whose prefix lies in this run's folder: other runs on the machine are
  # left alone.
  local comm pid prefix
  for comm in /proc/[0-9]*/comm; do
    case "$(cat "$comm" 2>/dev/null)" in wineserver|wineserver64) ;; *) continue;; esac
    pid=${comm#/proc/}; pid=${pid%/comm}
    prefix=$({ tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | sed -n 's/^WINEPREFIX=//p')
    case "$prefix" in
      "$run_root"/*) WINEPREFIX=$prefix wineserver -k 2>/dev/null || kill "$pid" 2>/dev/null;;
    esac
  done
}

cleanup() {
  stop_stray_wine
  pelora_xvfb_stop
  rm -rf "$run_root"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step_fail() { failures+=("$1"); log "FAILED: $1"; }

# --- 1. Machine and dependencies -------------------------------------------------------------
t0=$(date +%s)
cache=${PELORA_DEPS_CACHE:-$HOME/.cache/pelora-deps}
mkdir -p "$cache"
# Two bootstraps at once would build the same dependency into the same folder.
if ! flock "$cache/.bootstrap.lock" scripts/bootstrap.sh; then
  step_fail "bootstrap"
  echo "[test] SUMMARY: FAILED (bootstrap) in $(elapsed)"
  exit 1
fi
log "bootstrap done in $(( $(date +%s) - t0 ))s"
phase bootstrap $(( $(date +%s) - t0 ))

test_arch=$(scripts/test-arch.sh)
preset_of() { if [ "$1" = i686 ]; then echo mingw; else echo mingw64; fi; }
test_build=$here/build/$test_arch
export PELORA_BUILD_DIR=$test_build

# --- 2. Wine templates, made in the background while the trees build ---------------------
templates_started=$(date +%s)
versions=(win7 winxp win10 nt40)
pids=()
# make_template VERSION: a template that hangs on a Wine hiccup is stopped and made once more.
make_template() {
  local attempt
  for attempt in 1 2; do
    timeout 180 scripts/wine-prefix.sh "$1" && return 0
    echo "template $1: attempt $attempt failed"
    WINEPREFIX=$PELORA_WINE_TEMPLATES/$1 wineserver -k 2>/dev/null
  done
  return 1
}
for v in "${versions[@]}"; do
  make_template "$v" >"$run_root/prefix-$v.log" 2>&1 &
  pids+=($!)
done

# --- 3. Builds ---------------------------------------------------------------------------------
# build ARCH: configure with the architecture's preset and build all targets; -k 0 keeps going
# past a broken target so that one subsystem's compile error does not hide the other results.
# The tree of an architecture that cannot run here builds the setup program only (a compile check
# of the shipped program); the test architecture's tree builds everything.
build() {
  local arch=$1 dir=$here/build/$1 t=$(date +%s) out tests=OFF
  [ "$arch" = "$test_arch" ] && tests=ON
  out=$run_root/build-$arch.log
  log "build $arch ($dir)"
  if ! cmake --preset "$(preset_of "$arch")" -DPELORA_BUILD_TESTS=$tests >"$out" 2>&1; then
    tail -30 "$out"
    step_fail "configure $arch"
    return 1
  fi
  if ! cmake --build "$dir" -- -k 0 >>"$out" 2>&1; then
    grep -E -B2 -A8 'error|FAILED' "$out" | head -80
    step_fail "build $arch"
    results+=("$arch build FAILED")
  else
    results+=("$arch build ok")
  fi
  local warnings
  warnings=$(grep -c 'warning:' "$out")
  if [ "$warnings" -gt 0 ]; then
    log "$arch: $warnings compiler warnings:"
    grep 'warning:' "$out" | sort -u | head -20
    results+=("$arch warnings $warnings")
  fi
  log "build $arch took $(( $(date +%s) - t ))s"
  phase "build-$arch" $(( $(date +%s) - t ))
}

build i686
[ "$test_arch" = i686 ] || build "$test_arch"

# --- 3b. The shipped program builds to the same bytes from a copy in another folder ---------------
t0=$(date +%s)
log "reproducible build of PeloraSetup.exe"
if [ ! -f "$here/build/i686/app/PeloraSetup.exe" ]; then
  step_fail "reproducible build"
  results+=("reproducible: not checked, the i686 build made no PeloraSetup.exe")
elif "$here/scripts/check-reproducible.sh" "$here/build/i686" >"$run_root/reproducible.log" 2>&1; then
  results+=("reproducible: $(tail -1 "$run_root/reproducible.log" | sed 's/^ *//')")
else
  cat "$run_root/reproducible.log"
  step_fail "reproducible build"
  results+=("reproducible: FAILED")
fi
log "reproducible build took $(( $(date +%s) - t0 ))s"
phase reproducible $(( $(date +%s) - t0 ))

# --- 4. Display, and the templates started above ----------------------------------------------
for i in "${!versions[@]}"; do
  wait "${pids[$i]}" || { cat "$run_root/prefix-${versions[$i]}.log"; step_fail "wine template ${versions[$i]}"; }
done
log "wine templates (${versions[*]}) ready $(( $(date +%s) - templates_started ))s after they were started"
# The templates are made beside the builds: their time overlaps the builds'.
phase templates $(( $(date +%s) - templates_started ))

if ! pelora_xvfb_start; then
  step_fail "Xvfb"
fi

# --- 5. Unit tests ---------------------------------------------------------------------------------
# Alone, before the pytest workers: beside them, Wine's server of a unit test's prefix once failed
# an assertion of its own (server/fd.c, set_fd_events) in the socket tests and that test hung
# until CTest's time-out.
t0=$(date +%s)
ctest_log=$run_root/ctest.log
if [ -f "$test_build/CTestTestfile.cmake" ]; then
  ctest --test-dir "$test_build" --output-on-failure -j2 2>&1 | tee "$ctest_log"
  ctest_rc=${PIPESTATUS[0]}
  ctest_line=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$ctest_log" | tail -1)
  [ -n "$ctest_line" ] || ctest_line="no tests ran"
  [ "$ctest_rc" = 0 ] || step_fail "ctest"
else
  ctest_line="not run (no test tree)"
  step_fail "ctest"
fi
results+=("ctest: $ctest_line")
log "ctest took $(( $(date +%s) - t0 ))s"
phase ctest $(( $(date +%s) - t0 ))
stop_stray_wine

# --- 6. pytest -----------------------------------------------------------------------------------
# The tests that bound how fast the setup answers (marker "quiet") run afterwards, alone: beside
# other tests' Wine processes on a two-processor machine one late answer in a hundred is the
# machine's, not the setup's.
t0=$(date +%s)
pytest_log=$run_root/pytest.log
# The Debian packages of bootstrap.sh (pytest, xdist, protobuf) belong to /usr/bin/python3, which
# another python3 earlier on PATH (pyenv, a venv) may hide or only partly provide.
python=python3
python3 -c 'import pytest, google.protobuf' >/dev/null 2>&1 || python=/usr/bin/python3
# Six workers, given tests one by one: a test makes its own prefixes (module and session fixtures
# are made again in each worker that needs them), so no test depends on which worker runs it.
parallel=()
"$python" -c 'import xdist' 2>/dev/null && parallel=(-n 6 --dist load)
"$python" -m pytest -q -p no:cacheprovider "${parallel[@]}" --durations=10 -m "not quiet" tests/ "$@" 2>&1 |
  tee "$pytest_log"
pytest_rc=${PIPESTATUS[0]}
pytest_line=$(grep -E '(passed|failed|skipped|error|no tests ran)' "$pytest_log" | tail -1 | sed 's/=//g; s/^ *//; s/ *$//')
log "pytest took $(( $(date +%s) - t0 ))s"
phase pytest $(( $(date +%s) - t0 ))
stop_stray_wine

t0=$(date +%s)
quiet_log=$run_root/pytest-quiet.log
"$python" -m pytest -q -p no:cacheprovider -m quiet tests/ "$@" 2>&1 | tee "$quiet_log"
quiet_rc=${PIPESTATUS[0]}
quiet_line=$(grep -E '(passed|failed|skipped|error|no tests ran)' "$quiet_log" | tail -1 | sed 's/=//g; s/^ *//; s/ *$//')
# Selecting no test at all (a run narrowed by "$@") is no failure.
[ "$quiet_rc" = 5 ] && quiet_rc=0
[ "$pytest_rc" = 0 ] && [ "$quiet_rc" = 0 ] || step_fail "pytest"
results+=("pytest: ${pytest_line:-no result}; alone: ${quiet_line:-no result}")
phase quiet $(( $(date +%s) - t0 ))

# The setup window's pictures taken by the end-to-end tests, to be looked at.
if [ -d "$PELORA_BUILD_DIR/screenshots" ]; then
  log "screenshots of the setup window: $PELORA_BUILD_DIR/screenshots"
fi

# --- Summary -------------------------------------------------------------------------------------
# The ten slowest steps of the pytest run ("12.34s call tests/e2e/test_x.py::test_y" in its
# durations section), shortened to "test_x.py::test_y 12.3s".
slowest=$(sed -n '/slowest 10 durations/,/^=/p' "$pytest_log" 2>/dev/null |
  awk '$1 ~ /^[0-9.]+s$/ { t = $1; sub(/s$/, "", t); n = $3; sub(/^.*\//, "", n); printf "%s%s %.1fs (%s)", sep, n, t, $2; sep = ", " }')
results+=("slowest: ${slowest:-none}")
results+=("phases: $(IFS=,; echo "${phases[*]}" | sed 's/,/, /g')")
summary=$(IFS=';'; echo "${results[*]}" | sed 's/;/; /g')
if [ ${#failures[@]} -eq 0 ]; then
  echo "[test] SUMMARY: PASSED in $(elapsed): $summary"
  exit 0
fi
echo "[test] SUMMARY: FAILED (${failures[*]}) in $(elapsed): $summary"
exit 1
