#!/usr/bin/env bash
# End to end on 127.0.0.1: boardstat_exporter on a board whose faults come at set times
# (timed_faults.board), a real Prometheus with the alert rules (scrape and evaluation every
# second), a real Alertmanager and a webhook receiver. The receiver must get each expected
# alert firing and then resolved after the board's clear, and nothing else: no alert for the
# healthy VFG 1. Usage: alerts_e2e_test.sh EXPORTER RULES BOARD
# Exit 77 (skipped) where a program is missing, except under CI=true: there it fails.
set -uo pipefail
exporter=$1
rules=$(realpath "$2")
board=$(realpath "$3")
here=$(dirname "$(realpath "$0")")
for tool in prometheus prometheus-alertmanager python3 curl; do
  command -v "$tool" > /dev/null && continue
  echo "$tool is missing (apt-get install prometheus prometheus-alertmanager python3 curl)" >&2
  [ "${CI:-}" = true ] && exit 1
  exit 77
done
# shellcheck source=tests/servers.sh
source "$here/../servers.sh"

# What must arrive: firing before the clear at 66 s of board time and resolved only after it;
# the drops, which stop at 30 s, resolved before it; VFG 3, which cannot be opened, firing.
resolved_by_clear=(
  "BoardstatErrorLatched vfg=0 flag=cplError"
  "BoardstatFramesStopped vfg=0 flag=-"
  "BoardstatFramesStopped vfg=2 flag=-"
  "BoardstatCameraClockGone vfg=2 flag=-"
)
resolved_before_clear=("BoardstatPacketsDropped vfg=0 flag=-")
firing_only=("BoardstatVfgNotOpened vfg=3 flag=-")
expected=("${resolved_by_clear[@]}" "${resolved_before_clear[@]}" "${firing_only[@]}")

received=$tmp/received
touch "$received"
start receiver / python3 "$here/webhook_receiver.py" @PORT@ "$received"
receiver_port=$port
cat > "$tmp/alertmanager.yml" <<YML
route:
  receiver: test
  group_by: ['...']
  group_wait: 1s
  group_interval: 1s
  repeat_interval: 1h
receivers:
  - name: test
    webhook_configs: [{url: 'http://127.0.0.1:$receiver_port/', send_resolved: true}]
YML
start alertmanager /-/ready prometheus-alertmanager --config.file="$tmp/alertmanager.yml" \
  --storage.path="$tmp/alertmanager-data" --web.listen-address=127.0.0.1:@PORT@ \
  --cluster.listen-address= --log.level=warn
alertmanager_port=$port

# Board time starts when the exporter opens the VFGs.
BOARDSIM_CONFIG=$board start exporter /metrics "$exporter" --web.listen-address=127.0.0.1:@PORT@
board_start=$SECONDS
start_prometheus "127.0.0.1:$port" "" "rule_files: ['$rules']" \
  "alerting: {alertmanagers: [{static_configs: [{targets: ['127.0.0.1:$alertmanager_port']}]}]}"
echo "servers up after $SECONDS s; the board's faults come at 5 s and 6 s, its clear at 66 s"

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
# The last to fire, VFG 0's frames, does so 6 + 30 + 15 s after the board's start.
within $((board_start + 64 - SECONDS)) arrived firing "${expected[@]}" ||
  { report; fail "not every expected alert fired before the clear at 66 s"; }
report
for alert in "${resolved_by_clear[@]}"; do
  ! grep -qxF "resolved $alert" "$received" || fail "$alert resolved before the clear"
done
within $((board_start + 79 - SECONDS)) arrived resolved "${resolved_by_clear[@]}" \
  "${resolved_before_clear[@]}" || { report; fail "not every expected alert was resolved"; }
report

# Nothing else arrived, and so nothing names VFG 1.
unexpected=$(cut -d' ' -f2- "$received" | sort -u | grep -vxF -f <(printf '%s\n' "${expected[@]}"))
[ -z "$unexpected" ] || fail "alerts that should not have come: $unexpected"
echo PASS
