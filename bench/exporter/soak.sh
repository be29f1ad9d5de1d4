#!/usr/bin/env bash
# A real Prometheus scrapes boardstat_exporter (built-in board) every second for a while as the
# machine is kept busy by two busy loops; then prints resets() over the whole run of every
# counter series and boardstat_acquired_clears_total, all of which must be 0 (exit 1 otherwise),
# and the lines and bytes rates over the run (the built-in board counts 32,400 and 51,200 lines
# a second on VFG 0 and 2, 62,208,000 and 78,643,200 bytes).
#
#   bash bench/exporter/soak.sh [SECONDS]     # 600 by default; BUILD_DIR=build by default
#
# Everything listens on 127.0.0.1 at random ports. Needs prometheus, curl and python3.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
seconds=${1:-600}
build=${BUILD_DIR:-build}
exporter=$build/exporter/boardstat_exporter
for tool in prometheus curl python3; do
  command -v "$tool" > /dev/null || { echo "$tool is missing" >&2; exit 1; }
done
[ -x "$exporter" ] || { echo "no $exporter: build it first" >&2; exit 1; }

# shellcheck source=tests/lib.sh
source tests/lib.sh && servers_set_up
start exporter /metrics "$exporter" --web.listen-address=127.0.0.1:@PORT@
metrics="http://127.0.0.1:$port/metrics"
start_prometheus "127.0.0.1:$port"
for _ in 1 2; do
  bash -c 'while :; do :; done' &
  pids+=($!)
done

echo "scraping for $seconds s beside two busy loops (load $(cut -d' ' -f1 /proc/loadavg)) ..." >&2
sleep "$seconds"
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)" >&2

query() {  # EXPRESSION: one line per series, "EXPRESSION{LABELS} VALUE"
  curl -s -m 10 -G "$api" --data-urlencode "query=$1" | tee -a "$tmp/answers" | python3 -c '
import json, sys
for s in json.load(sys.stdin)["data"]["result"]:
    labels = ",".join(k + "=\"" + v + "\"" for k, v in sorted(s["metric"].items())
                      if k not in ("__name__", "job", "instance"))
    print(sys.argv[1] + "{" + labels + "} " + s["value"][1])' "$1"
}
range=$((seconds - 5))s
counters=$(curl -sf -m 10 "$metrics" | awk '$1 == "#" && $2 == "TYPE" && $4 == "counter" { print $3 }')
{
  for family in $counters; do query "resets(${family}[$range])"; done
  query boardstat_acquired_clears_total
  query "rate(boardstat_acquired_lines_total[$range])"
  query "rate(boardstat_acquired_bytes_total[$range])"
  query "max_over_time(scrape_duration_seconds[$range])"
  query "count_over_time(up[$range])"
} > "$tmp/figures" || { cat "$tmp/answers" >&2; exit 1; }
cat "$tmp/figures"
bad=$(grep -E '^(resets|boardstat_acquired_clears_total).* [^0]' "$tmp/figures" || true)
series=$(grep -c '^resets' "$tmp/figures" || true)
[ "$series" -gt 0 ] || { echo "FAIL: no counter series" >&2; exit 1; }
if [ -n "$bad" ]; then
  echo "FAIL: counter resets or clears:" >&2
  echo "$bad" >&2
  exit 1
fi
echo "PASS: $series counter series, no reset, no clear in $seconds s"
