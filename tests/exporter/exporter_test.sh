#!/bin/bash
# The built exporter on the simulated board: bad command lines end with status 2; the built-in
# board's exposition with every probe figure passes promtool; one --once collection checked
# against its exposition and the board's access trace; textfile mode writes whole files only
# and stops cleanly on SIGTERM.
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

for args in --bogus "--textfile.directory=$dir/missing" extra; do  # flags_test.cc has the rest
  timeout 10 "$exporter" "$args" > /dev/null 2> "$dir/err"
  status=$?
  [ "$status" -eq 2 ] && grep -q '^boardstat_exporter: ' "$dir/err" || fail "$args: status $status"
done
timeout 10 "$exporter" --version | grep -qx 'boardstat_exporter [0-9][0-9.]*' || fail "--version"

if promtool=$(command -v promtool); then
  timeout 60 "$exporter" --once --collect.probe=all > "$dir/all" || fail "--once: status $?"
  grep -q '^boardstat_probe_cc_width_seconds{vfg="0",cc="1"} 2.5e-05$' "$dir/all" ||
    fail "no CC1 width of 25 us"
  complaints=$(timeout 30 "$promtool" check metrics < "$dir/all" 2>&1) && [ -z "$complaints" ] ||
    fail "promtool check metrics: $complaints"
else
  echo "promtool is missing (Debian package prometheus): the exposition is not linted"
fi

# A VFG that cannot be opened has only boardstat_vfg_up 0; the acquired counts keep their low
# 16 bits (X in 16-byte units); a probe figure that runs out of time is left out; no register
# but the probe's is written.
cat > "$dir/board" <<'BOARD'
vfg
signal 1 1us 100ns
signal 3 100ns 50ns
signal 32 25ns 12.5ns
signal 38 33.3333ms 33ms
vfg open-fails
vfg
reg 1420 0x12345
reg 1422 0x10002
reg 2702 2
reg 2714 7
BOARD
out=$(BOARDSIM_CONFIG="$dir/board" BOARDSIM_TRACE="$dir/trace" timeout 30 "$exporter" --once \
        --collect.probe=basic) || fail "--once with a failing VFG"
for line in 'boardstat_up 1' 'boardstat_vfgs 3' 'boardstat_vfg_up{vfg="1"} 0' \
            'boardstat_vfg_up{vfg="2"} 1' 'boardstat_acquired_frames_total{vfg="2"} 9029' \
            'boardstat_acquired_bytes_total{vfg="2"} 32' \
            'boardstat_buffer_run_level{vfg="2",state="ABORT"} 1' \
            'boardstat_buffer_error{vfg="2",flag="cplError"} 1' \
            'boardstat_buffer_error{vfg="0",flag="cplError"} 0' \
            'boardstat_probe_frame_rate_hertz{vfg="0"} 30' \
            'boardstat_probe_camera_clock_hertz{vfg="0"} 4e+07'; do
  grep -qxF "$line" <<< "$out" || fail "no line: $line"
done
grep -E 'vfg="1",|frame_rate_hertz\{vfg="2"|trigger_rate' <<< "$out" && fail "series too many"
other=$(awk '$1 == "poke" && ($3 < 2898 || $3 > 2913)' "$dir/trace")
[ -z "$other" ] || fail "writes outside the probe: $other"
for vfg in 0 2; do
  starts=$(grep -c "^poke $vfg 2908 1$" "$dir/trace")
  [ "$starts" -eq 3 ] || fail "VFG $vfg: $starts probe starts, not the 3 basic figures"
done
echo "nonsense" > "$dir/broken"
out=$(BOARDSIM_CONFIG="$dir/broken" timeout 30 "$exporter" --once 2> /dev/null) || fail "--once, no VFG"
grep -qxF 'boardstat_up 0' <<< "$out" && grep -qxF 'boardstat_vfgs 0' <<< "$out" ||
  fail "no VFG: boardstat_up or boardstat_vfgs is not 0"

# Textfile mode: every read is a whole exposition, each file replaces the last, SIGTERM ends it.
mkdir "$dir/text"
"$exporter" --textfile.directory "$dir/text" --collect.probe=basic --collect.probe-interval=1s &
pid=$!
file="$dir/text/boardstat.prom"
for _ in $(seq 200); do [ -f "$file" ] && break; sleep 0.05; done
ln "$file" "$dir/first" || fail "no $file"  # a rename replaces it, a rewrite in place does not
reads=0
end=$((SECONDS + 3))
while [ "$SECONDS" -lt "$end" ]; do
  content=$(cat "$file") || fail "read $reads failed"
  [ "${content:0:19}" = "# HELP boardstat_up" ] || fail "read $reads starts wrong"
  tail -n 1 <<< "$content" | grep -qE '^boardstat_collector_count_polls_total [0-9]+$' ||
    fail "read $reads is cut short: $(tail -n 1 <<< "$content")"
  reads=$((reads + 1))
done
[ "$file" -ef "$dir/first" ] && fail "the file was written in place, not renamed over"
grep -q '^boardstat_probe_frame_rate_hertz{vfg="0"} 30$' "$file" || fail "no frame rate"
kill -TERM "$pid"
for _ in $(seq 100); do kill -0 "$pid" 2> /dev/null || break; sleep 0.05; done
wait "$pid"
status=$?
pid=
[ "$status" -eq 0 ] || fail "SIGTERM: status $status"
[ "$(ls -A "$dir/text")" = "boardstat.prom" ] || fail "left in the folder: $(ls -A "$dir/text")"
echo "textfile: $reads whole reads"
