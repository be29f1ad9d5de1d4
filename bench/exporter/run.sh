#!/usr/bin/env bash
# Scrape latency, idle processor time and memory of boardstat_exporter on boards of 1 and 32
# VFGs with every probe figure (--collect.probe=all), in plain HTTP and over TLS, beside
# prometheus-node-exporter in the same run with the same clients, printed as one Markdown table.
#
#   bash bench/exporter/run.sh          # BUILD_DIR=build by default; about 5 minutes
#
# Per exporter, all on 127.0.0.1, every client asking for gzip as Prometheus does: processor
# time over 10 s with nobody scraping (/proc/PID/task/*/schedstat); wrk with 1, then 50
# connections for 10 s; the same with 20 idle connections opened just before and held; then,
# still with them and in plain HTTP only, 50 scrapers at 10 scrapes a second each
# (paced_scrapers.cc, as Prometheus servers scrape: on a clock, not as fast as answers come);
# the resident set idle, after the load (VmRSS) and its peak (VmHWM). The TLS rows use a web
# configuration file with a self-signed certificate (TLS only, no password), the same for
# both exporters. Needs wrk, curl, openssl and a C++ compiler; the reference rows need
# prometheus-node-exporter.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD_DIR:-build}
duration=${BENCH_SECONDS:-10}
node_exporter=${NODE_EXPORTER:-prometheus-node-exporter}

for tool in wrk curl openssl; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (apt-get install $tool)" >&2; exit 1; }
done

echo "building boardstat_exporter in $build ..." >&2
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target boardstat_exporter -j2 >/dev/null
exporter=$build/exporter/boardstat_exporter

# shellcheck source=tests/lib.sh
source tests/lib.sh && servers_set_up
c++ -std=c++17 -O2 -Wall -Wextra -Wpedantic -pthread bench/exporter/paced_scrapers.cc \
  -o "$tmp/paced_scrapers"
server_pid=
idle_fds=()
stop_server() { [ -z "$server_pid" ] || stop "$server_pid"; server_pid=; }
close_idle() {
  local fd
  for fd in "${idle_fds[@]}"; do exec {fd}>&-; done
  idle_fds=()
}
open_idle() {  # 20 connections that send nothing
  local fd
  close_idle
  for _ in $(seq 20); do
    exec {fd}<>"/dev/tcp/127.0.0.1/$port"
    idle_fds+=("$fd")
  done
}
trap 'close_idle; cleanup' EXIT

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
  -subj /CN=127.0.0.1 -keyout "$tmp/key.pem" -out "$tmp/cert.pem" >/dev/null 2>&1
printf 'tls_server_config:\n  cert_file: %s\n  key_file: %s\n' "$tmp/cert.pem" "$tmp/key.pem" \
  >"$tmp/web.yml"

# Boards of 1 and 32 VFGs, each a copy of VFG 0 of the built-in board (30 frames a second).
awk '/^vfg/ { n++ } n == 1' sim/default.board >"$tmp/vfg0"
for count in 1 32; do
  for _ in $(seq "$count"); do cat "$tmp/vfg0"; done >"$tmp/vfgs$count.board"
done

# start_server NAME SCHEME COMMAND... (@PORT@ replaced): on a random free port.
start_server() {
  local name=$1 scheme=$2
  shift 2
  curl_options=(-k)
  start "$name" "$scheme://127.0.0.1:@PORT@/metrics" "$@"
  server_pid=${pids[-1]}
}

# Processor time of every thread in nanoseconds, as the scheduler counts it: utime and stime are
# sampled at the clock tick and overstate a thread that wakes briefly 200 times a second.
cpu_ns() { cat /proc/"$1"/task/*/schedstat | awk '{ ns += $1 } END { printf "%.0f\n", ns }'; }
memory_kib() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

# wrk_figures CONNECTIONS: "p50 p99 requests/s failed", latencies in ms; failed counts
# responses other than 2xx and 3xx, and connect, read, write and timeout errors.
wrk_figures() {
  wrk -c"$1" -t"$((${1} < 2 ? 1 : 2))" -d"${duration}s" --latency -H 'Accept-Encoding: gzip' \
    "$scheme://127.0.0.1:$port/metrics" >"$tmp/wrk.txt"
  awk 'function ms(v) {
         if (v ~ /us$/) return v / 1000; if (v ~ /ms$/) return v + 0; if (v ~ /s$/) return v * 1000
         return v }
       $1 == "50%" { p50 = ms($2) } $1 == "99%" { p99 = ms($2) }
       $1 == "Requests/sec:" { rps = $2 }
       /Non-2xx/ { failed += $NF }
       /Socket errors/ { gsub(/,/, ""); failed += $4 + $6 + $8 + $10 }
       END { printf "%.2f %.2f %.0f %d\n", p50, p99, rps, failed }' "$tmp/wrk.txt"
}

rows=()
measure() {  # measure LABEL VFGS: on the server started last
  local label=$1 vfgs=$2 body gzipped before after idle_cpu idle_rss single loaded held paced rss hwm
  sleep 1
  before=$(cpu_ns "$server_pid")
  sleep 10
  after=$(cpu_ns "$server_pid")
  # After the first round of probe figures, which the 10 s above leave time for.
  body=$(curl -sfk -m 5 "$scheme://127.0.0.1:$port/metrics" | wc -c)
  gzipped=$(curl -sfk -m 5 -H 'Accept-Encoding: gzip' "$scheme://127.0.0.1:$port/metrics" | wc -c)
  idle_cpu=$(awk -v a="$before" -v b="$after" 'BEGIN { printf "%.2f", (b - a) / 1e9 / 10 * 100 }')
  idle_rss=$(memory_kib "$server_pid" VmRSS)
  single=$(wrk_figures 1)
  loaded=$(wrk_figures 50)
  open_idle
  held=$(wrk_figures 50)
  open_idle  # afresh: the exporter closes connections idle for its read timeout (10 s)
  paced="- - - - -"
  [ "$scheme" = https ] || paced=$("$tmp/paced_scrapers" "$port" /metrics 50 10 "$duration" || true)
  close_idle
  rss=$(memory_kib "$server_pid" VmRSS)
  hwm=$(memory_kib "$server_pid" VmHWM)
  read -r s50 s99 _ _ <<<"$single"
  read -r l50 l99 lrps lfailed <<<"$loaded"
  read -r h50 h99 hrps hfailed <<<"$held"
  read -r p50 p99 pmax _ pfailed <<<"$paced"
  rows+=("| $label | $vfgs | $scheme | $body / $gzipped | $s50 / $s99 | $l50 / $l99 | $lrps | $lfailed | $h50 / $h99 | $hfailed | $p50 / $p99 / $pmax | $pfailed | $idle_cpu | $(mib "$idle_rss") / $(mib "$rss") / $(mib "$hwm") |")
}

load_start=$(cut -d' ' -f1-3 /proc/loadavg)
for row in "1 http" "32 http" "32 https"; do
  read -r count scheme <<<"$row"
  echo "boardstat_exporter, $count VFG(s), $scheme ..." >&2
  web=()
  [ "$scheme" = https ] && web=(--web.config.file="$tmp/web.yml")
  BOARDSIM_CONFIG=$tmp/vfgs$count.board start_server boardstat "$scheme" "$exporter" \
    --web.listen-address=127.0.0.1:@PORT@ --collect.probe=all "${web[@]}"
  measure boardstat_exporter "$count"
  stop_server
done
if command -v "$node_exporter" >/dev/null; then
  version=$("$node_exporter" --version 2>&1 | awk 'NR == 1 { print $3 }')
  for scheme in http https; do
    echo "$node_exporter, $scheme ..." >&2
    web=()
    [ "$scheme" = https ] && web=(--web.config.file="$tmp/web.yml")
    start_server node_exporter "$scheme" "$node_exporter" --web.listen-address=127.0.0.1:@PORT@ "${web[@]}"
    measure "$node_exporter $version" -
    stop_server
  done
else
  echo "$node_exporter is missing: no reference row (apt-get install prometheus-node-exporter)" >&2
fi

echo "Load average (1, 5, 15 min): $load_start at the start, $(cut -d' ' -f1-3 /proc/loadavg) at the end; $(nproc) processors."
echo
echo "| Exporter | VFGs | Scheme | Body: plain / gzip (bytes) | 1 scraper: p50 / p99 (ms) | 50 scrapers: p50 / p99 (ms) | 50 scrapers: scrapes/s | 50 scrapers: failed | 50 scrapers + 20 idle connections: p50 / p99 (ms) | + 20 idle: failed | 50 scrapers at 10/s each + 20 idle: p50 / p99 / max (ms) | paced: failed | Processor while idle (% of one) | Resident: idle / after load / peak (MiB) |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"
