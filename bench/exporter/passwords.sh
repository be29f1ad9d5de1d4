#!/usr/bin/env bash
# Passwords under attack: boardstat_exporter with a web configuration file holding one user
# whose hash has bcrypt's usual cost (10), scraped once a second with the right password while
# 50 clients send wrong ones as fast as they are answered, each a password of its own (plain
# HTTP on 127.0.0.1; TLS adds nothing to a password check). Then the time of 20 wrong passwords
# for the known user and 20 for an unknown one, one after the other, in turn. Prints one
# Markdown table.
#
#   bash bench/exporter/passwords.sh     # BUILD_DIR=build by default; about a minute
#
# The exporter's processor time is read from /proc/PID/task/*/schedstat over the flood.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD_DIR:-build}
duration=${BENCH_SECONDS:-30}

echo "building boardstat_exporter in $build ..." >&2
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target boardstat_exporter -j2 >/dev/null
exporter=$build/exporter/boardstat_exporter

# shellcheck source=tests/lib.sh
source tests/lib.sh && servers_set_up
for tool in paced_scrapers wrong_passwords; do
  c++ -std=c++17 -O2 -Wall -Wextra -Wpedantic -pthread "bench/exporter/$tool.cc" -o "$tmp/$tool"
done
# alice:s3cret
echo "basic_auth_users: {alice: '\$2b\$10\$Mnv4rIeU.nZ5jc1dsqgn4.XlfHNOhRXNeMEpl5It9kVM4FGAeMHjW'}" \
  > "$tmp/web.yml"
"$exporter" --web.listen-address 127.0.0.1:0 --web.config.file "$tmp/web.yml" \
  --collect.probe=none 2> "$tmp/err" &
server_pid=$!
pids+=("$server_pid")
for _ in $(seq 100); do grep -q '(port [0-9]*)' "$tmp/err" && break; sleep 0.1; done
port=$(sed -n 's/.*(port \([0-9]*\)).*/\1/p' "$tmp/err")
[ -n "$port" ] || { cat "$tmp/err" >&2; exit 1; }
cpu_ns() { cat /proc/"$1"/task/*/schedstat | awk '{ ns += $1 } END { printf "%.0f\n", ns }'; }

curl -sf -o /dev/null -u alice:s3cret "http://127.0.0.1:$port/metrics"  # accepted, remembered
before=$(cpu_ns "$server_pid")
"$tmp/wrong_passwords" "$port" /metrics alice 50 "$duration" > "$tmp/flood" || true &
flood_pid=$!
read -r p50 p99 pmax scrapes failed < <("$tmp/paced_scrapers" "$port" /metrics 1 1 "$duration" \
  "Authorization: Basic $(printf alice:s3cret | base64)" || true)
wait "$flood_pid"
after=$(cpu_ns "$server_pid")
echo "cpu $before $after" >&2
cpu=$(awk -v a="$before" -v b="$after" -v s="$duration" 'BEGIN { printf "%.0f", (b - a) / 1e9 / s * 100 }')
read -r _ flood_requests flood_401 flood_503 flood_failed < "$tmp/flood"
# 40 one after the other, the known user and the unknown one in turn: 20 each.
"$tmp/wrong_passwords" "$port" /metrics alice,mallory 1 40x > "$tmp/one_by_one"
known=$(sed -n 's/^alice //p' "$tmp/one_by_one")
unknown=$(sed -n 's/^mallory //p' "$tmp/one_by_one")

echo "| Scraper, right password, 1/s: p50 / p99 / max (ms) | scrapes / failed | Flood, 50 clients, wrong passwords: answers (401 / 503) / failed | Exporter's processor (% of one core) | 20 wrong passwords one by one, median (ms): known user / unknown user |"
echo "|---|---|---|---|---|"
echo "| $p50 / $p99 / $pmax | $scrapes / $failed | $flood_requests ($flood_401 / $flood_503) / $flood_failed | $cpu | $known / $unknown |"
