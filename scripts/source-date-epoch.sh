#!/usr/bin/env bash
# Prints the time every build output takes instead of the clock, in seconds since 1970:
# SOURCE_DATE_EPOCH when the caller sets it, else the time of the source tree's last commit.
# A tree that is no git checkout and gets no SOURCE_DATE_EPOCH is refused: its release time is
# unknown, and the clock would make every build differ.
#   source-date-epoch.sh [SOURCE_DIR]
set -euo pipefail
source_dir=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  [[ $SOURCE_DATE_EPOCH =~ ^[0-9]+$ ]] || { echo "source-date-epoch: SOURCE_DATE_EPOCH is no number" >&2; exit 1; }
  echo "$SOURCE_DATE_EPOCH"
  exit 0
fi
if epoch=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null) && [ -n "$epoch" ]; then
  echo "$epoch"
  exit 0
fi
echo "source-date-epoch: $source_dir is no git checkout; set SOURCE_DATE_EPOCH" >&2
exit 1
