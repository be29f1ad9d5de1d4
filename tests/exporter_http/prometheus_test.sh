#!/usr/bin/env bash
# End to end: a real Prometheus server scrapes boardstat_exporter (built-in board) every second
# on 127.0.0.1; its query API must see VFG 0's frames at 30 a second and boardstat_up at 1.
# Usage: prometheus_test.sh BOARDSTAT_EXPORTER
# Exit 77 (skipped) where prometheus or curl is missing, except under CI=true: there it fails.
set -uo pipefail
exporter=$1
prometheus=${PROMETHEUS:-prometheus}

for tool in "$prometheus" curl; do
  if ! command -v "$tool" >/dev/null; then
    if [ "${CI:-}" = true ]; then
      echo "FAIL: $tool is missing (apt-get install prometheus curl)" >&2
      exit 1
    fi
    echo "SKIP: $tool is missing (apt-get install prometheus curl)" >&2
    exit 77
  fi
done

tmp=$(mktemp -d)
exporter_pid=
prometheus_pid=
# A child that ended stays a zombie until waited for, and kill -0 still finds it.
alive() { [ -r "/proc/$1/stat" ] && ! grep -q '^[0-9]* (.*) Z' "/proc/$1/stat" 2>/dev/null; }
stop() {  # stop PID: SIGTERM, then SIGKILL after 5 s
  local pid=$1
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    alive "$pid" || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}
cleanup() {
  stop "$prometheus_pid"
  stop "$exporter_pid"
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
fail() {
  echo "FAIL: $*" >&2
  for log in "$tmp"/*.log; do
    echo "--- $log" >&2
    tail -20 "$log" >&2
  done
  exit 1
}

# within SECONDS COMMAND...: true as soon as COMMAND succeeds, false after SECONDS.
within() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}
answers() { curl -sf -m 2 -o /dev/null "$1"; }

# start_server NAME URL_PATH COMMAND... (@PORT@ in COMMAND is replaced): a random port, tried
# again when the server dies (port in use) or does not answer in 20 s, three times. Sets
# started_pid and started_port. At worst the whole test takes about 200 s, under ctest's limit,
# so that this script, not ctest's kill, stops the servers.
start_server() {
  local name=$1 path=$2
  shift 2
  for _ in 1 2 3; do
    local port=$((20000 + RANDOM % 30000))
    "${@//@PORT@/$port}" >"$tmp/$name.log" 2>&1 &
    started_pid=$!
    started_port=$port
    local deadline=$((SECONDS + 20))
    while alive "$started_pid" && [ "$SECONDS" -lt "$deadline" ]; do
      answers "http://127.0.0.1:$port$path" && return 0
      sleep 0.2
    done
    stop "$started_pid"
    started_pid=
  done
  fail "$name did not start"
}

start_server exporter /metrics "$exporter" --web.listen-address=127.0.0.1:@PORT@
exporter_pid=$started_pid
exporter_port=$started_port

cat >"$tmp/prometheus.yml" <<EOF
global:
  scrape_interval: 1s
  scrape_timeout: 1s
  evaluation_interval: 1s
scrape_configs:
  - job_name: boardstat
    static_configs:
      - targets: ['127.0.0.1:$exporter_port']
EOF
start_server prometheus /-/ready "$prometheus" --config.file="$tmp/prometheus.yml" \
  --storage.tsdb.path="$tmp/data" --web.listen-address=127.0.0.1:@PORT@ --log.level=warn
prometheus_pid=$started_pid
api="http://127.0.0.1:$started_port/api/v1/query"

# query EXPRESSION: the value of the one sample of an instant query, or nothing.
query() {
  curl -sf -m 2 -G "$api" --data-urlencode "query=$1" |
    sed -n 's/.*"result":\[{"metric":{[^}]*},"value":\[[0-9.]*,"\([^"]*\)"\]}\].*/\1/p'
}
near() { awk -v v="$1" -v want="$2" -v within="$3" 'BEGIN { d = v - want; exit !(v != "" && d <= within && d >= -within) }'; }

rate_expression='rate(boardstat_acquired_frames_total{vfg="0"}[10s])'
rate_is_30() {
  rate=$(query "$rate_expression")
  near "${rate:-x}" 30 1.5
}
up_is_1() {
  up=$(query 'boardstat_up')
  [ "$up" = 1 ]
}
within 60 rate_is_30 || fail "$rate_expression is '${rate:-}', not 30 +- 1.5"
within 10 up_is_1 || fail "boardstat_up is '${up:-}', not 1"
echo "Prometheus sees $rate frames a second on VFG 0 and boardstat_up $up"

# The exporter ends with status 0 on SIGTERM.
kill -TERM "$exporter_pid"
exporter_stopped() { ! alive "$exporter_pid"; }
within 10 exporter_stopped || fail "exporter did not stop on SIGTERM"
wait "$exporter_pid"
status=$?
exporter_pid=
[ "$status" -eq 0 ] || fail "exporter ended with status $status on SIGTERM"
echo PASS
