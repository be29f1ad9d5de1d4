#!/usr/bin/env bash
# End to end on 127.0.0.1: boardstat_exporter on a board whose faults come at set times
# (timed_faults.board), served over HTTP, and a second exporter in textfile mode read by a real
# node_exporter's textfile collector; a real Prometheus with the alert rules (scrape and
# evaluation every second), a real Alertmanager and a webhook receiver. The receiver must get
# each expected alert firing and then resolved, the latch's on its own before the board's
# clear, and a stale-data alert for the textfile exporter once it is killed; nothing else: no
# alert for the healthy VFG 1, nor for the killed exporter's VFGs.
#
# The rules run with their windows and staleness limit cut to fit a test of about 70 s, as
# second-long scrapes allow: [3m] to [20s], [10m] to [30s], the 90 s staleness to 6 s. How the
# shipped figures behave at 15 s to 1 m is rules_test.sh's part.
# Usage: alerts_e2e_test.sh EXPORTER RULES BOARD
# Exit 77 (skipped) where a program is missing, except under CI=true: there it fails.
set -uo pipefail
exporter=$1
board=$(realpath "$3")
here=$(dirname "$(realpath "$0")")
# shellcheck source=tests/lib.sh
source "$here/../lib.sh" && servers_set_up
require "prometheus prometheus-alertmanager prometheus-node-exporter python3 curl" prometheus \
  prometheus-alertmanager prometheus-node-exporter python3 curl

rules=$tmp/boardstat.rules.yml
for shipped in '\[3m\]' '\[10m\]' ' > 90\b'; do
  grep -q "$shipped" "$2" || fail "the rules have no $shipped any more: cut their times anew"
done
sed -e 's/\[3m\]/[20s]/g' -e 's/\[10m\]/[30s]/g' -e 's/ > 90\b/ > 6/g' "$2" > "$rules"

received=$tmp/received
touch "$received"
start receiver / python3 "$here/webhook_receiver.py" @PORT@ "$received"
sed "s/@PORT@/$port/" "$here/alertmanager.test.yml" > "$tmp/alertmanager.yml"
start alertmanager /-/ready prometheus-alertmanager --config.file="$tmp/alertmanager.yml" \
  --storage.path="$tmp/alertmanager-data" --web.listen-address=127.0.0.1:@PORT@ \
  --cluster.listen-address= --log.level=warn
alertmanager_port=$port

# The textfile exporter: one healthy running VFG, no probe.
mkdir "$tmp/textfile"
BOARDSIM_CONFIG=$here/healthy.board "$exporter" --textfile.directory="$tmp/textfile" \
  --collect.probe=none > "$tmp/textfile.log" 2>&1 &
textfile_exporter=$!
pids+=("$textfile_exporter")
start node_exporter /metrics prometheus-node-exporter --collector.disable-defaults \
  --collector.textfile --collector.textfile.directory="$tmp/textfile" \
  --web.listen-address=127.0.0.1:@PORT@
textfile="instance=127.0.0.1:$port"

# Board time starts when the exporter opens the VFGs.
BOARDSIM_CONFIG=$board start exporter /metrics "$exporter" --web.listen-address=127.0.0.1:@PORT@
board_start=$SECONDS
http="instance=127.0.0.1:$port"
start_prometheus "127.0.0.1:$port ${textfile#instance=}" "" "rule_files: ['$rules']" \
  "alerting: {alertmanagers: [{static_configs: [{targets: ['127.0.0.1:$alertmanager_port']}]}]}"
echo "servers up after $SECONDS s; the board's faults come at 5, 6 and 20 s, its clear at 66 s"
# A latch already set at the first scrape is no new set to Prometheus.
[ $((SECONDS - board_start)) -lt 18 ] || fail "Prometheus started too late to see the latch set"

# What must arrive: the latch's and the drops' alerts resolved before the clear at 66 s of
# board time (the drops stop at 30 s); the others firing before it, resolved only after it;
# VFG 3, which cannot be opened, firing; the killed textfile exporter's stale data, firing.
resolved_before_clear=(
  "BoardstatErrorLatched $http vfg=0 flag=cplError"
  "BoardstatPacketsDropped $http vfg=0 flag=-"
)
resolved_by_clear=(
  "BoardstatFramesStopped $http vfg=0 flag=-"
  "BoardstatFramesStopped $http vfg=2 flag=-"
  "BoardstatCameraClockGone $http vfg=2 flag=-"
)
firing_only=("BoardstatVfgNotOpened $http vfg=3 flag=-" "BoardstatCollectionStale $textfile vfg=- flag=-")
expected=("${resolved_by_clear[@]}" "${resolved_before_clear[@]}" "${firing_only[@]}")

# Once Prometheus has seen the textfile's frames count (two files apart), its exporter dies as
# a power cut or the OOM killer would end it; node_exporter goes on serving the file it left.
counted() {
  local frames="boardstat_acquired_frames_total{instance=\"${textfile#instance=}\"}"
  curl -sf "$api" --data-urlencode "query=increase(${frames}[1m]) > 0" | grep -q '"value"'
}
within 20 counted || fail "Prometheus has not seen the textfile exporter's frames counted"
kill -KILL "$textfile_exporter"
echo "textfile exporter killed after $((SECONDS - board_start)) s of board time"

arrived() {  # STATUS ALERT...: true when each ALERT has arrived with STATUS
  local status=$1 alert
  shift
  for alert in "$@"; do
    grep -qxF "$status $alert" "$received" || return 1
  done
}
report() {
  echo "received after $((SECONDS - board_start)) s of board time:"
  sort "$received" | uniq -c
}
# The last to fire, VFG 0's frames, does so 6 + 20 s after the board's start.
within $((board_start + 64 - SECONDS)) arrived firing "${expected[@]}" ||
  { report; fail "not every expected alert fired before the clear at 66 s"; }
within $((board_start + 64 - SECONDS)) arrived resolved "${resolved_before_clear[@]}" ||
  { report; fail "the latch or the drops alert did not end before the clear at 66 s"; }
report
for alert in "${resolved_by_clear[@]}"; do
  ! grep -qxF "resolved $alert" "$received" || fail "$alert resolved before the clear"
done
within $((board_start + 79 - SECONDS)) arrived resolved "${resolved_by_clear[@]}" ||
  { report; fail "not every expected alert was resolved"; }
report

# Nothing else arrived: nothing names VFG 1, nor the textfile exporter's VFG, and the stale data
# and the VFG that cannot be opened stay.
unexpected=$(cut -d' ' -f2- "$received" | sort -u | grep -vxF -f <(printf '%s\n' "${expected[@]}"))
[ -z "$unexpected" ] || fail "alerts that should not have come: $unexpected"
for alert in "${firing_only[@]}"; do
  ! grep -qxF "resolved $alert" "$received" || fail "$alert resolved"
done
echo PASS
