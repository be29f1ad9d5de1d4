#!/bin/bash
# The built-in board's exposition, every probe figure measured, passes `promtool check metrics`
# without a single complaint.
set -u
exporter=$1
promtool=$(command -v promtool) || { echo "promtool missing (Debian package prometheus): skipped"; exit 77; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
timeout 60 "$exporter" --once --collect.probe=all > "$out/metrics" || { echo "--once failed: $?"; exit 1; }
grep -q '^boardstat_probe_frame_rate_hertz{vfg="0"} ' "$out/metrics" || { echo "no frame rate measured"; exit 1; }
timeout 30 "$promtool" check metrics < "$out/metrics" > "$out/promtool" 2>&1
status=$?
cat "$out/promtool"
[ "$status" -eq 0 ] && [ ! -s "$out/promtool" ] || { echo "promtool: status $status"; exit 1; }
echo "promtool check metrics: clean ($(grep -vc '^#' "$out/metrics") samples)"
