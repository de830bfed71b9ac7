# Sourced by scripts/run.sh and scripts/test.sh: a virtual X display for machines without one,
# since the setup window and its message boxes need a display even when nobody looks at them.
#   pelora_xvfb_start   starts Xvfb on a free display and exports DISPLAY (no-op when one is set)
#   pelora_xvfb_stop    stops the Xvfb started here, if any
PELORA_XVFB_PID=""

pelora_xvfb_start() {
  [ -n "${DISPLAY:-}" ] && return 0
  command -v Xvfb >/dev/null || { echo "Xvfb is missing (run scripts/bootstrap.sh)" >&2; return 1; }
  local numfile; numfile=$(mktemp)
  # -displayfd lets the server pick the first free display number and tell us which it took.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" </dev/null >/dev/null 2>&1 &
  PELORA_XVFB_PID=$!
  local i
  for i in $(seq 100); do
    [ -s "$numfile" ] && break
    kill -0 "$PELORA_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$numfile" ]; then
    rm -f "$numfile"; pelora_xvfb_stop
    echo "Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$(tr -dc 0-9 <"$numfile")"
  rm -f "$numfile"
}

pelora_xvfb_stop() {
  if [ -n "$PELORA_XVFB_PID" ]; then
    kill "$PELORA_XVFB_PID" 2>/dev/null
    wait "$PELORA_XVFB_PID" 2>/dev/null
    PELORA_XVFB_PID=""
  fi
}
