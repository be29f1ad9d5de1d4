#!/bin/bash
# The built exporter from start to stop: its one start-up line, VFGs that appear after the start,
# a textfile that can no longer be written, and SIGTERM or SIGINT in its first milliseconds.
set -u
exporter=$1
dir=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -KILL "$p" 2> /dev/null; wait "$p" 2> /dev/null; done
  rm -rf "$dir"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# until SECONDS COMMAND...: true once COMMAND succeeds, false when SECONDS pass first.
until_true() {
  local end=$(($(now_ms) + $1 * 1000))
  shift
  while [ "$(now_ms)" -lt "$end" ]; do "$@" && return 0; sleep 0.05; done
  return 1
}
# stop PID: SIGTERM, then its status, which must come within a second.
stop() {
  kill -TERM "$1"
  until_true 1 eval "! kill -0 $1 2> /dev/null" || fail "still running a second after SIGTERM"
  wait "$1"
}
version='[0-9][0-9.]*'

# A textfile that cannot be written: reported once, and after 60 s the end, with status 1. It
# runs beside the checks below.
mkdir "$dir/gone"
"$exporter" --textfile.directory "$dir/gone" --collect.probe=none 2> "$dir/gone.err" &
gone_pid=$!
pids+=("$gone_pid")
until_true 10 test -f "$dir/gone/boardstat.prom" || fail "no textfile in $dir/gone"
rm -rf "$dir/gone"
gone_at=$(now_ms)

# The start-up line: BOARD (a description, or builtin), the mode, the line. DIR is the folder
# the textfile goes to.
more_than_32=$(for _ in $(seq 35); do echo vfg; done)
while IFS='|' read -r board mode line; do
  env=()
  [ "$board" = builtin ] || { printf "$board\n" > "$dir/board"; env=(BOARDSIM_CONFIG="$dir/board"); }
  [ "$board" = 35 ] && { echo "$more_than_32" > "$dir/board"; }
  rm -rf "$dir/text"
  mkdir "$dir/text"
  if [ "$mode" = http ]; then
    args=(--web.listen-address 127.0.0.1:0)
  else
    args=(--textfile.directory "$dir/text")
  fi
  env "${env[@]}" "$exporter" "${args[@]}" --collect.probe=none > /dev/null 2> "$dir/err" &
  pid=$!
  pids+=("$pid")
  until_true 10 grep -q '^boardstat_exporter [0-9]' "$dir/err" || fail "$board: no start-up line"
  stop "$pid" || fail "$board, $mode: status $?"
  lines=$(grep -c '^boardstat_exporter [0-9]' "$dir/err")
  [ "$lines" -eq 1 ] || fail "$board, $mode: $lines start-up lines"
  expected=$(sed "s|DIR|$dir/text|" <<< "$line")
  grep -qE "^$expected\$" "$dir/err" || fail "$board, $mode: not '$expected' in: $(cat "$dir/err")"
done << TABLE
builtin|textfile|boardstat_exporter $version: writing DIR/boardstat.prom every 1000 ms; 3 VFGs found, 3 open
vfg\nvfg open-fails|textfile|boardstat_exporter $version: writing DIR/boardstat.prom every 1000 ms; 2 VFGs found, 1 open
vfg|http|boardstat_exporter $version: serving /metrics on 127.0.0.1:0 \(port [0-9]+\); 1 VFG found, 1 open
nonsense|textfile|boardstat_exporter $version: writing DIR/boardstat.prom every 1000 ms; 0 VFGs found, 0 open
35|textfile|boardstat_exporter: 3 VFGs left out: the exporter reads the first 32
35|textfile|boardstat_exporter $version: writing DIR/boardstat.prom every 1000 ms; 32 VFGs found, 32 open
TABLE

# Exposition of a board whose only VFG is found but does not open, and of one whose
# description cannot be read: it serves all the same, boardstat_up 0.
for board in 'vfg open-fails' 'nonsense'; do
  echo "$board" > "$dir/board"
  out=$(BOARDSIM_CONFIG="$dir/board" timeout 30 "$exporter" --once 2> /dev/null) || fail "--once: $?"
  grep -qxF 'boardstat_up 0' <<< "$out" || fail "$board: boardstat_up is not 0"
done

# VFGs that appear a second after the start: boardstat_up goes from 0 to 1 within 10 s of
# that (and a second more for the next write of the file); both are told on standard error.
printf 'vfg appears-after 1s\nvfg open-fails appears-after 1s\n' > "$dir/board"
rm -rf "$dir/text"
mkdir "$dir/text"
started=$(now_ms)
BOARDSIM_CONFIG="$dir/board" "$exporter" --textfile.directory "$dir/text" 2> "$dir/err" &
pid=$!
pids+=("$pid")
file="$dir/text/boardstat.prom"
until_true 10 test -f "$file" || fail "rediscovery: no textfile"
grep -qx 'boardstat_up 0' "$file" && grep -qx 'boardstat_vfgs 0' "$file" ||
  fail "rediscovery: not up 0 with no VFG at the start"
until_true 20 grep -qx 'boardstat_up 1' "$file" || fail "rediscovery: never up"
took=$(($(now_ms) - started - 1000))
[ "$took" -le 11500 ] || fail "rediscovery: up $took ms after the VFGs appeared"
grep -qx 'boardstat_vfgs 2' "$file" || fail "rediscovery: not 2 VFGs"
stop "$pid" || fail "rediscovery: status $?"
for said in 'VFG 0 found and opened' 'VFG 1 found; it does not open yet, trying again every refresh'; do
  grep -qxF "boardstat_exporter: $said" "$dir/err" || fail "rediscovery: not said: $said"
done
echo "rediscovery: up $took ms after the VFGs appeared"

# SIGTERM or SIGINT at once when main has blocked them (before that the process is still being
# loaded, where nothing of its own can act), or a few milliseconds on, in discovery, the first
# collection or the server's start: status 0 within a second, every time.
runs=0
for signal in TERM INT; do
  for delay in 0 0 0 0 0 0 0.001 0.002 0.005 0.01 0.02 0.05 0.1 0.2; do
    "$exporter" --web.listen-address 127.0.0.1:0 2> /dev/null &
    pid=$!
    pids+=("$pid")
    # SigBlk of /proc/PID/status has bit 14 (SIGTERM) set once main has blocked the signals.
    blocked=
    for _ in $(seq 5000); do
      mask=$(awk '$1 == "SigBlk:" { print $2 }' "/proc/$pid/status" 2> /dev/null)
      [ -n "$mask" ] && (((0x$mask >> 14) & 1)) && blocked=1 && break
      kill -0 "$pid" 2> /dev/null || break
    done
    [ -n "$blocked" ] || fail "SIG$signal: the signals were never blocked"
    [ "$delay" = 0 ] || sleep "$delay"
    kill -"$signal" "$pid"
    until_true 1 eval "! kill -0 $pid 2> /dev/null" || fail "SIG$signal after $delay: still running after 1 s"
    wait "$pid"
    status=$?
    [ "$status" -eq 0 ] || fail "SIG$signal after $delay: status $status"
    runs=$((runs + 1))
  done
done
echo "signals: $runs starts stopped, status 0 each"

# The textfile that went away: one complaint while it fails, then the end after 60 s.
until_true 80 eval "! kill -0 $gone_pid 2> /dev/null" || fail "textfile failing: still running"
wait "$gone_pid"
status=$?
ran=$(($(now_ms) - gone_at))
[ "$status" -eq 1 ] || fail "textfile failing: status $status"
[ "$ran" -ge 59000 ] || fail "textfile failing: ended after $ran ms"
complaints=$(grep -c 'cannot write' "$dir/gone.err")
[ "$complaints" -eq 2 ] || fail "textfile failing: $complaints lines, not 2: $(cat "$dir/gone.err")"
tail -n 1 "$dir/gone.err" | grep -q 'could not be written for 60 s, stopping$' ||
  fail "textfile failing: last line $(tail -n 1 "$dir/gone.err")"
echo "textfile failing: ended with status 1 after $ran ms"
