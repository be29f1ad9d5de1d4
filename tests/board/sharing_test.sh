#!/usr/bin/env bash
# One board, several programs: the console, the exporter and the snapshot tool on one shared
# simulated board (BOARDSIM_SHARE), taking turns through the VFG locks.
#   1. the exporter probing every second beside a console with SystemProbe expanded for 30 s:
#      every console figure as a lone console's, and the exporter gave way to it;
#   2. c in a console: the exporter counts exactly one clear per VFG and its totals restart;
#   3. boardstat_snapshot --probe beside the exporter: the same signals as alone;
#   4. a console killed while it holds a lock: the exporter's next round and the next console
#      go on.
# Usage: sharing_test.sh CONSOLE EXPORTER SNAPSHOT
#        sharing_test.sh --wine WINE CONSOLE.exe EXPORTER.exe   (cases 1, in 10 s, and 2)
set -u
# shellcheck source=tests/lib.sh
source "$(dirname "$0")/../lib.sh" && servers_set_up
wine=()
if [ "$1" = --wine ]; then
  wine=("$2")
  shift 2
fi
console=$1 exporter=$2 snapshot=${3:-}
seconds=30
[ ${#wine[@]} -gt 0 ] && seconds=10

export BOARDSTAT_LOCK_DIR=$tmp/locks
mkdir "$BOARDSTAT_LOCK_DIR"
boards=()
trap 'cleanup; for b in "${boards[@]}"; do rm -f "/dev/shm/boardsim-$b"; done' EXIT
new_board() { BOARDSIM_SHARE=boardstat-sharing-$$-$1 && boards+=("$BOARDSIM_SHARE") && export BOARDSIM_SHARE; }

# console NAME KEYS [SECONDS [ARGS...]]: the console with KEYS, then q after SECONDS (0 unless
# given); the screens go to $tmp/NAME.
console() {
  local name=$1 keys=$2 after=${3:-0}
  shift 3 2>/dev/null || shift $#
  (printf '%s' "$keys"; sleep "$after"; printf q) | "${wine[@]}" "$console" "$@" > "$tmp/$name" ||
    fail "console $name ended with $?"
}
# The SystemProbe lines of a console's screens, each different line once.
figures() { grep -a ' : ' "$tmp/$1" | tr -d '\r' | sort -u; }
exporter_up() {  # starts the exporter probing every figure every second
  start exporter /metrics "${wine[@]}" "$exporter" --web.listen-address=127.0.0.1:@PORT@ \
    --collect.probe=all --collect.probe-interval=1s "$@"
}
metric() {  # NAME{LABELS}: its value in the exporter's exposition
  curl -sf "http://127.0.0.1:$port/metrics" | tr -d '\r' | awk -v s="$1" '$1 == s { print $2 }'
}
measured() {  # VFG: when the exporter last measured its frame rate
  metric "boardstat_probe_measured_timestamp_seconds{vfg=\"$1\",measurement=\"boardstat_probe_frame_rate_hertz\"}"
}
newer() { awk -v a="$(measured "$1")" -v b="$2" 'BEGIN { exit !(a > b) }'; }

# 1. VFG 2's figures are exact whenever measured; its three CC widths run into their limit.
new_board alone
console alone '++o'
[ "$(figures alone | wc -l)" -eq 26 ] || fail "a lone console shows $(figures alone | wc -l) figures"
[ ${#wine[@]} -gt 0 ] || console alone1 '+o'  # for case 4
new_board beside
exporter_up
within 20 newer 2 0 || fail "the exporter measured nothing"
console beside '++o' "$seconds" -d 1
diff <(figures alone) <(figures beside) || fail "a console beside the exporter shows other figures"
[ "$(metric 'boardstat_skipped_probe_rounds_total{vfg="2"}')" -gt 0 ] ||
  fail "the exporter never gave way to the console"

# 2. Clears of the acquired counts (frames: 30 and 50 a second on VFGs 0 and 2).
frames() { metric "boardstat_acquired_frames_total{vfg=\"$1\"}"; }
counting() { [ "$(frames 2)" -gt 100 ]; }
within 10 counting || fail "no frames counted"
before0=$(frames 0) before2=$(frames 2)
console clear c
sleep 2.5  # two refreshes
for v in 0 2; do
  [ "$(metric "boardstat_acquired_clears_total{vfg=\"$v\"}")" = 1 ] ||
    fail "VFG $v: $(metric "boardstat_acquired_clears_total{vfg=\"$v\"}") clears counted, not 1"
done
[ "$(frames 0)" -lt "$before0" ] && [ "$(frames 2)" -lt "$before2" ] ||
  fail "the totals did not restart: $before0 $before2, then $(frames 0) $(frames 2)"
[ ${#wine[@]} -gt 0 ] && exit 0

# 3. The snapshot's probe signals, alone and beside the exporter (the same shared board).
"$snapshot" --probe -o "$tmp/beside.board" || fail "snapshot beside the exporter failed"
stop "${pids[-1]}"
"$snapshot" --probe -o "$tmp/alone.board" || fail "snapshot alone failed"
diff <(grep '^signal' "$tmp/alone.board") <(grep '^signal' "$tmp/beside.board") ||
  fail "the snapshot beside the exporter has other probe signals"

# 4. VFG 1's interval figures all run into their 1 s limit: its console holds the lock nearly
# all the time. Killed, its lock is free at once for the exporter and for the next console.
exporter_up
(printf '+o'; sleep 60) | "$console" > "$tmp/killed" &
killed=$!
pids+=("$killed")
sleep 3
kill -KILL "$killed"
t=$(date +%s.%N)
within 5 newer 1 "$t" || fail "the exporter measured nothing on VFG 1 after the kill"
console next '+o'
diff <(figures alone1) <(figures next) || fail "the next console shows other figures"
echo "PASS"
