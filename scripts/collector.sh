#!/usr/bin/env bash
# Runs the telemetry collector (collector/, see collector/README.md).
#   scripts/collector.sh [serve] [--db SQLITE-FILE|POSTGRESQL-URL] [--listen HOST:PORT] [--http HOST:PORT|off]
#   scripts/collector.sh report [--db SQLITE-FILE|POSTGRESQL-URL]
# Without a command it serves. The default database is
# ${XDG_DATA_HOME:-$HOME/.local/share}/pelora-collector/reports.sqlite3.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
export PYTHONPATH="$here${PYTHONPATH:+:$PYTHONPATH}"
exec /usr/bin/python3 -m collector "$@"
