#!/usr/bin/env bash
# End to end: a real Prometheus server scrapes boardstat_exporter (built-in board) every second
# on 127.0.0.1; its query API must see VFG 0's frames at 30 a second and boardstat_up at 1, and
# the exporter must end with status 0 on SIGTERM. Usage: prometheus_test.sh [WINE] EXPORTER
# With WINE the Windows exporter runs under it and is stopped with SIGINT, which wine turns into
# Ctrl-C. Exit 77 (skipped) where prometheus or curl is missing, except under CI=true: there it
# fails.
set -uo pipefail
exporter=("$@")
signal=TERM start_seconds=20
[ $# -gt 1 ] && signal=INT start_seconds=60 # wine starts slowly on a busy machine
prometheus=${PROMETHEUS:-prometheus}
for tool in "$prometheus" curl; do
  command -v "$tool" > /dev/null && continue
  echo "$tool is missing (apt-get install prometheus curl)" >&2
  [ "${CI:-}" = true ] && exit 1
  exit 77
done

tmp=$(mktemp -d)
pids=()
# A child that ended stays a zombie until waited for, and kill -0 still finds it.
alive() { [ -r "/proc/$1/stat" ] && ! grep -q '^[0-9]* (.*) Z' "/proc/$1/stat" 2>/dev/null; }
within() {  # SECONDS COMMAND...: true as soon as COMMAND succeeds, false after SECONDS
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}
stopped() { ! alive "$1"; }
stop() {  # PID: SIGTERM, then SIGKILL after 5 s
  kill -TERM "$1" 2>/dev/null && within 5 stopped "$1"
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}
cleanup() {
  for pid in "${pids[@]}"; do stop "$pid"; done
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
fail() {
  echo "FAIL: $*" >&2
  tail -n 20 "$tmp"/*.log >&2
  exit 1
}

# start NAME URL_PATH COMMAND... (@PORT@ in COMMAND is replaced): a random port, tried again
# when the server dies (port in use) or does not answer in time (20 s, 60 under wine), three
# times; sets port. At worst the whole test takes about 200 s (250 under wine), under ctest's
# limit.
answers() { alive "$1" && curl -sf -m 2 -o /dev/null "$2"; }
up_or_dead() { answers "$@" || ! alive "$1"; }
start() {
  local name=$1 path=$2
  shift 2
  for _ in 1 2 3; do
    port=$((20000 + RANDOM % 30000))
    "${@//@PORT@/$port}" > "$tmp/$name.log" 2>&1 &
    pids+=($!)
    within "$start_seconds" up_or_dead $! "http://127.0.0.1:$port$path" && answers $! "http://127.0.0.1:$port$path" &&
      return 0
    stop $!
  done
  fail "$name did not start"
}

start exporter /metrics "${exporter[@]}" --web.listen-address=127.0.0.1:@PORT@
exporter_pid=${pids[-1]}
cat > "$tmp/prometheus.yml" <<YML
global: {scrape_interval: 1s, scrape_timeout: 1s, evaluation_interval: 1s}
scrape_configs:
  - job_name: boardstat
    static_configs: [{targets: ['127.0.0.1:$port']}]
YML
start prometheus /-/ready "$prometheus" --config.file="$tmp/prometheus.yml" \
  --storage.tsdb.path="$tmp/data" --web.listen-address=127.0.0.1:@PORT@ --log.level=warn
api="http://127.0.0.1:$port/api/v1/query"

query() {  # EXPRESSION: the value of the one sample of an instant query, or nothing
  curl -sf -m 2 -G "$api" --data-urlencode "query=$1" |
    sed -n 's/.*"result":\[{"metric":{[^}]*},"value":\[[0-9.]*,"\([^"]*\)"\]}\].*/\1/p'
}
rate_is_30() {
  rate=$(query 'rate(boardstat_acquired_frames_total{vfg="0"}[10s])')
  awk -v v="${rate:-x}" 'BEGIN { exit !(v != "x" && v >= 28.5 && v <= 31.5) }'
}
up_is_1() { up=$(query boardstat_up) && [ "$up" = 1 ]; }
within 60 rate_is_30 || fail "the frame rate of VFG 0 is '${rate:-}', not 30 +- 1.5"
within 10 up_is_1 || fail "boardstat_up is '${up:-}', not 1"
echo "Prometheus sees $rate frames a second on VFG 0 and boardstat_up $up"

kill -"$signal" "$exporter_pid"
within 10 stopped "$exporter_pid" || fail "the exporter did not stop on SIG$signal"
wait "$exporter_pid"
status=$?
[ "$status" -eq 0 ] || fail "the exporter ended with status $status on SIG$signal"
echo PASS
