#!/usr/bin/env bash
# Loads the telemetry collector on loopback and checks what it stored:
#
#   scripts/bench-collector.sh [--reports N] [--connections C] [--retry-share S]
#                              [--db sqlite|postgresql] [--kill-at FRACTION]
#
# It starts the collector (scripts/collector.sh) on a fresh database in a temporary folder, with
# the reports on a free loopback port and no page, runs tools/collector_load.py against it (N
# reports, default 100000, from C concurrent senders, default 200, a share S of them, default
# 0.05, sent twice as after a lost acknowledgement), stops the collector and checks with
# tools/collector_check.py that the database holds exactly N event rows and every acknowledged
# report once. It prints one table: the generator's figures (reports per second, acknowledgement
# latency p50/p90/p99/max), the check's, and the load average before and after.
#
# --db postgresql  a PostgreSQL cluster of Debian's package made for the run in the temporary
#                  folder under /tmp (initdb, pg_ctl; as the postgres user when run as root), on a
#                  free port
# --kill-at F      once the share F of the reports is acknowledged, the collector is killed with
#                  SIGKILL and started again on the same database and port; the senders retry until
#                  it answers again. The check is the same: nothing acknowledged lost, nothing twice.
#
# This is a benchmark: the figures are printed, not judged; only a failed check (or a generator
# that could not deliver everything) ends it with 1. Everything it made is removed at the end.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
python=/usr/bin/python3
reports=100000
connections=200
retry_share=0.05
db_kind=sqlite
kill_at=""
usage="usage: bench-collector.sh [--reports N] [--connections C] [--retry-share S] [--db sqlite|postgresql] [--kill-at FRACTION]"
while [ $# -gt 0 ]; do
  case $1 in
    --reports) reports=$2; shift 2;;
    --connections) connections=$2; shift 2;;
    --retry-share) retry_share=$2; shift 2;;
    --db) db_kind=$2; shift 2;;
    --kill-at) kill_at=$2; shift 2;;
    -h|--help) sed -n '2,/^set /p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0;;
    *) echo "$usage" >&2; exit 2;;
  esac
done
[[ $reports =~ ^[1-9][0-9]*$ && $connections =~ ^[1-9][0-9]*$ ]] || { echo "$usage" >&2; exit 2; }
[[ $db_kind == sqlite || $db_kind == postgresql ]] || { echo "$usage" >&2; exit 2; }
[[ -z $kill_at || $kill_at =~ ^0?\.[0-9]+$ ]] || { echo "--kill-at takes a share between 0 and 1" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/pelora-bench-collector.XXXXXX")
collector_pid=""
pg_bin=""
pg_folder=""
as_postgres=()

cleanup() {
  stop_collector
  if [ -n "$pg_folder" ]; then
    pg_run pg_ctl -D "$pg_folder/data" -m immediate -w stop >/dev/null 2>&1
    rm -rf "$pg_folder"
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

load_average() { printf '%s (%s cores)' "$(cut -d' ' -f1-3 /proc/loadavg)" "$(nproc)"; }
free_port() { "$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# The cluster's folder lies under /tmp and its programs start from /: the postgres user, which
# runs them when this script runs as root, may not reach $TMPDIR or the current folder.
pg_run() { (cd / && "${as_postgres[@]}" "$pg_bin/$1" "${@:2}"); }

start_postgres() {
  pg_bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  [ -x "$pg_bin/initdb" ] || { echo "PostgreSQL is not installed (Debian's postgresql package)" >&2; exit 1; }
  pg_folder=$(mktemp -d /tmp/pelora-bench-pg.XXXXXX)
  # The server refuses to run as root.
  if [ "$(id -u)" = 0 ]; then
    chown postgres: "$pg_folder"
    as_postgres=(runuser -u postgres --)
  fi
  local port
  port=$(free_port)
  pg_run initdb -D "$pg_folder/data" -A trust -U collector --no-sync >"$work/pg-init.log" 2>&1 \
    || { cat "$work/pg-init.log" >&2; exit 1; }
  pg_run pg_ctl -D "$pg_folder/data" -l "$pg_folder/server.log" -w \
    -o "-c listen_addresses=127.0.0.1 -p $port -k $pg_folder" start >/dev/null \
    || { cat "$pg_folder/server.log" >&2; exit 1; }
  db="postgresql://collector@127.0.0.1:$port/postgres"
}

# start_collector HOST:PORT: the collector in a process group of its own (so that a kill reaches
# every process of it), on the run's database; sets collector_pid and port.
collector_runs=0
start_collector() {
  collector_runs=$((collector_runs + 1))
  local out="$work/collector-$collector_runs.out"
  setsid "$root/scripts/collector.sh" --db "$db" --listen "$1" --http off >"$out" 2>"$work/collector-$collector_runs.err" &
  collector_pid=$!
  local waited=0
  until grep -q '^LISTENING ' "$out" 2>/dev/null; do
    if ! kill -0 "$collector_pid" 2>/dev/null || [ $waited -ge 300 ]; then
      echo "the collector did not start:" >&2; cat "$work/collector-$collector_runs.err" >&2; exit 1
    fi
    sleep 0.1; waited=$((waited + 1))
  done
  port=$(sed -n 's/^LISTENING \([0-9]*\)$/\1/p' "$out" | head -n 1)
}

stop_collector() {
  [ -n "$collector_pid" ] || return 0
  kill -TERM -- "-$collector_pid" 2>/dev/null
  wait "$collector_pid" 2>/dev/null
  collector_pid=""
}

load_before=$(load_average)
if [ "$db_kind" = postgresql ]; then start_postgres; else db="$work/reports.sqlite3"; fi
start_collector 127.0.0.1:0

mark=()
[ -n "$kill_at" ] && mark=(--mark-at "$kill_at" --mark-file "$work/kill-mark")
"$python" "$root/tools/collector_load.py" --port "$port" --reports "$reports" --connections "$connections" \
  --retry-share "$retry_share" --acknowledged "$work/acknowledged.json" "${mark[@]}" >"$work/load.out" 2>&1 &
load_pid=$!

restart="none"
if [ -n "$kill_at" ]; then
  while [ ! -e "$work/kill-mark" ] && kill -0 "$load_pid" 2>/dev/null; do sleep 0.02; done
  if [ -e "$work/kill-mark" ]; then
    killed_after=$(cat "$work/kill-mark")
    kill -KILL -- "-$collector_pid"
    wait "$collector_pid" 2>/dev/null
    down_since=$(date +%s%N)
    start_collector "127.0.0.1:$port"
    restart="SIGKILL after $killed_after acknowledged, listening again after $((($(date +%s%N) - down_since) / 1000000)) ms"
  else
    restart="not done: the generator ended before the share was reached"
  fi
fi
wait "$load_pid"
load_status=$?
stop_collector
load_after=$(load_average)

"$python" "$root/tools/collector_check.py" --db "$db" --acknowledged "$work/acknowledged.json" \
  --reports "$reports" >"$work/check.out" 2>"$work/check.err"
check_status=$?

printf '%-24s %s\n' database "$db_kind" "load before" "$load_before"
cat "$work/load.out"
cat "$work/check.out"
printf '%-24s %s\n' restart "$restart" "load after" "$load_after"
cat "$work/check.err" >&2
if [ $load_status -ne 0 ] || [ $check_status -ne 0 ]; then
  echo "FAILED (generator $load_status, check $check_status)" >&2
  exit 1
fi
echo "OK: exactly $reports rows, every acknowledged report stored once"
