#!/usr/bin/env bash
# Takes a PNG screenshot of a web page (the collector's funnel page) with Debian's chromium in
# headless mode, with a throwaway browser profile that is removed afterwards.
#   scripts/collector-screenshot.sh URL OUT.png [WIDTHxHEIGHT]     (default 1280x2000)
set -euo pipefail

usage() { echo "usage: $0 URL OUT.png [WIDTHxHEIGHT]" >&2; exit 2; }
[ $# -ge 2 ] && [ $# -le 3 ] || usage
url=$1
out=$2
size=${3:-1280x2000}
[[ $size =~ ^([0-9]+)x([0-9]+)$ ]] || { echo "collector-screenshot: size '$size' is not WIDTHxHEIGHT" >&2; exit 2; }
width=${BASH_REMATCH[1]}
height=${BASH_REMATCH[2]}

browser=${CHROMIUM:-chromium}
if ! command -v "$browser" >/dev/null 2>&1; then
  echo "collector-screenshot: '$browser' not found; install Debian's chromium package (scripts/bootstrap.sh does)" >&2
  exit 3
fi

# Under /tmp whatever TMPDIR says: chromium puts its singleton socket below TMPDIR, which it also
# gets pointed at the profile, and a socket path longer than about 100 characters aborts it.
profile=$(mktemp -d /tmp/collector-screenshot.XXXXXX)
trap 'rm -rf "$profile"' EXIT
out_abs=$(realpath -m "$out")
rm -f "$out_abs"

# chromium's own chatter (GPU, D-Bus, crash reporter) goes to a log that is shown only on failure.
if ! TMPDIR=$profile "$browser" --headless --disable-gpu --no-sandbox --hide-scrollbars \
     --user-data-dir="$profile" --no-first-run --no-default-browser-check \
     --window-size="$width,$height" --screenshot="$out_abs" "$url" >"$profile/chromium.log" 2>&1 ||
   [ ! -s "$out_abs" ]; then
  echo "collector-screenshot: chromium made no screenshot of $url" >&2
  tail -n 20 "$profile/chromium.log" >&2
  exit 1
fi
echo "$out_abs"
