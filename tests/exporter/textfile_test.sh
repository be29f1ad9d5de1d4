#!/bin/bash
# The built exporter on the simulated board: textfile mode writes whole files only and stops
# cleanly on SIGTERM; a VFG that cannot be opened and a board with no VFG show in --once; bad
# command lines end with status 2.
set -u
exporter=$1
dir=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; fi
  rm -rf "$dir"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# --- Bad command lines: status 2 and a message naming the program.
for args in --bogus --collect.interval=0ms "--textfile.directory=$dir/missing" --collect.probe \
            --collect.probe=sometimes extra; do
  timeout 10 "$exporter" "$args" > /dev/null 2> "$dir/err"
  status=$?
  [ "$status" -eq 2 ] || fail "$args: status $status"
  grep -q '^boardstat_exporter: ' "$dir/err" || fail "$args: no message"
done
timeout 10 "$exporter" --version | grep -qx 'boardstat_exporter [0-9][0-9.]*' || fail "--version"
timeout 10 "$exporter" --help | grep -q -- '--textfile.directory' || fail "--help"

# --- A VFG that cannot be opened, between two that can; then a description that is broken.
cat > "$dir/board" <<'BOARD'
vfg
counter 1420 30
vfg open-fails
vfg
reg 2702 2
BOARD
out=$(BOARDSIM_CONFIG="$dir/board" timeout 30 "$exporter" --once) || fail "--once with a failing VFG"
for line in 'boardstat_up 1' 'boardstat_vfgs 3' 'boardstat_vfg_up{vfg="1"} 0' \
            'boardstat_vfg_up{vfg="2"} 1' 'boardstat_buffer_run_level{vfg="2",state="ABORT"} 1'; do
  grep -qxF "$line" <<< "$out" || fail "no line: $line"
done
grep -q 'vfg="1",' <<< "$out" && fail "the closed VFG has series beyond boardstat_vfg_up"
echo "nonsense" > "$dir/broken"
out=$(BOARDSIM_CONFIG="$dir/broken" timeout 30 "$exporter" --once 2> /dev/null) || fail "--once, no VFG"
grep -qxF 'boardstat_up 0' <<< "$out" || fail "no VFG: boardstat_up is not 0"

# --- Textfile mode: every read is a whole exposition, the file is rewritten, SIGTERM ends it.
mkdir "$dir/text"
"$exporter" --textfile.directory "$dir/text" --collect.probe=basic --collect.probe-interval=1s &
pid=$!
file="$dir/text/boardstat.prom"
for _ in $(seq 200); do [ -f "$file" ] && break; sleep 0.05; done
[ -f "$file" ] || fail "no $file after 10 s"
reads=0
first_frames=
frames=
end=$((SECONDS + 3))
while [ "$SECONDS" -lt "$end" ]; do
  content=$(cat "$file") || fail "read $reads failed"
  [ "${content:0:19}" = "# HELP boardstat_up" ] || fail "read $reads starts wrong"
  tail -n 1 <<< "$content" | grep -qE '^boardstat_collector_count_polls_total [0-9]+$' ||
    fail "read $reads is cut short: $(tail -n 1 <<< "$content")"
  frames=$(sed -n 's/^boardstat_acquired_frames_total{vfg="0"} //p' <<< "$content")
  first_frames=${first_frames:-$frames}
  reads=$((reads + 1))
done
[ "$frames" -gt "$first_frames" ] || fail "the file was not rewritten ($first_frames, $frames)"
grep -q '^boardstat_probe_frame_rate_hertz{vfg="0"} 30$' "$file" || fail "no frame rate"
kill -TERM "$pid"
for _ in $(seq 100); do kill -0 "$pid" 2> /dev/null || break; sleep 0.05; done
wait "$pid"
status=$?
pid=
[ "$status" -eq 0 ] || fail "SIGTERM: status $status"
leftover=$(ls -A "$dir/text")
[ "$leftover" = "boardstat.prom" ] || fail "left in the folder: $leftover"
echo "textfile: $reads whole reads, frames $first_frames -> $frames"
