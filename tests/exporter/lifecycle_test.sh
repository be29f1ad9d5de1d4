#!/bin/bash
# The built exporter from start to stop: its one start-up line, VFGs that appear after the start,
# a textfile that can no longer be written, a board call that hangs (and the counts that passed
# their tops meanwhile), and SIGTERM or SIGINT in its first milliseconds.
set -u
exporter=$1
# shellcheck source=tests/lib.sh
source "$(dirname "$0")/../lib.sh" && servers_set_up
now_ms() { echo $(($(date +%s%N) / 1000000)); }
run() { "$@" & pid=$! && pids+=("$pid"); }  # COMMAND...: in the background, as $pid
# ends PID SIGNAL: the signal, then the process's status, which must come within a second.
ends() {
  kill -"$2" "$1"
  local end=$(($(now_ms) + 1000))
  while kill -0 "$1" 2> /dev/null; do
    [ "$(now_ms)" -lt "$end" ] || fail "still running a second after SIG$2"
    sleep 0.02
  done
  wait "$1"
}
version='[0-9][0-9.]*'

# A textfile that cannot be written: reported once, and after 60 s the end, with status 1. It
# runs beside the checks below.
mkdir "$tmp/gone"
run "$exporter" --textfile.directory "$tmp/gone" --collect.probe=none 2> "$tmp/gone.err"
gone_pid=$pid
within 10 test -f "$tmp/gone/boardstat.prom" || fail "no textfile in $tmp/gone"
rm -rf "$tmp/gone"
gone_at=$(now_ms)

# The start-up line: BOARD (a description, or builtin), the mode, the line. DIR is the folder
# the textfile goes to.
while IFS=$'\x1f' read -r board mode line; do
  env=()
  [ "$board" = builtin ] || { printf "$board\n" > "$tmp/board"; env=(BOARDSIM_CONFIG="$tmp/board"); }
  [ "$board" = 35 ] && printf 'vfg\n%.0s' {1..35} > "$tmp/board"
  rm -rf "$tmp/text" "$tmp/err" && mkdir "$tmp/text"  # no line of the last run
  args=(--textfile.directory "$tmp/text")
  [ "$mode" = http ] && args=(--web.listen-address 127.0.0.1:0)
  run env "${env[@]}" "$exporter" "${args[@]}" --collect.probe=none > /dev/null 2> "$tmp/err"
  within 10 grep -q '^boardstat_exporter [0-9]' "$tmp/err" || fail "$board: no start-up line"
  ends "$pid" TERM || fail "$board, $mode: status $?"
  lines=$(grep -c '^boardstat_exporter [0-9]' "$tmp/err")
  [ "$lines" -eq 1 ] || fail "$board, $mode: $lines start-up lines"
  expected=$(sed -e "s|DIR|$tmp/text|" -e "s|VERSION|$version|" <<< "$line")
  grep -qE "^$expected\$" "$tmp/err" || fail "$board, $mode: not '$expected' in: $(cat "$tmp/err")"
done < <(read_table "$(dirname "$0")/startup_lines.txt")

# VFGs that appear a second after the start: boardstat_up goes from 0 to 1 within 10 s of
# that (and a second more for the next write of the file); both are told on standard error.
# A third appears once they are open, and is found by a later look.
printf 'vfg appears-after 1s\nvfg open-fails appears-after 1s\nvfg appears-after 11s\n' > "$tmp/board"
rm -rf "$tmp/text" && mkdir "$tmp/text"
started=$(now_ms)
BOARDSIM_CONFIG="$tmp/board" run "$exporter" --textfile.directory "$tmp/text" 2> "$tmp/err"
file="$tmp/text/boardstat.prom"
within 10 test -f "$file" || fail "rediscovery: no textfile"
grep -qx 'boardstat_up 0' "$file" && grep -qx 'boardstat_vfgs 0' "$file" ||
  fail "rediscovery: not up 0 with no VFG at the start"
within 20 grep -qx 'boardstat_up 1' "$file" || fail "rediscovery: never up"
took=$(($(now_ms) - started - 1000))
[ "$took" -le 11500 ] || fail "rediscovery: up $took ms after the VFGs appeared"
grep -qx 'boardstat_vfgs 2' "$file" || fail "rediscovery: not 2 VFGs"
within 15 grep -qx 'boardstat_vfgs 3' "$file" || fail "rediscovery: the third VFG never found"
ends "$pid" TERM || fail "rediscovery: status $?"
for said in 'VFG 0 found and opened' 'VFG 1 found; it does not open yet, trying again every refresh' \
  'VFG 2 found and opened'; do
  grep -qxF "boardstat_exporter: $said" "$tmp/err" || fail "rediscovery: not said: $said"
done
echo "rediscovery: up $took ms after the VFGs appeared"

# A board call that hangs: the board's access trace goes into a pipe whose reader is stopped,
# so that the collector's next call blocks in its write once the pipe is full. Scrapes still
# answer at once, with the data's age growing and their refresh time standing still, and both
# move on again once the call returns; VFG 0's acquired lines and bytes, which passed their
# 16-bit tops many times meanwhile, then grew at the built-in board's rates (within 1%).
mkfifo "$tmp/trace"
run cat "$tmp/trace" > /dev/null
reader=$pid
BOARDSIM_TRACE="$tmp/trace" run "$exporter" --web.listen-address 127.0.0.1:0 2> "$tmp/err"
within 10 grep -q '(port [0-9]*)' "$tmp/err" || fail "hang: no start-up line"
url=http://127.0.0.1:$(sed -n 's/.*(port \([0-9]*\)).*/\1/p' "$tmp/err")/metrics
collector() {  # NAME: the collector's data age and refresh time, VFG 0's acquired lines and
  # bytes, in a scrape of at most 2 s
  curl -sf -m 2 "$url" | awk -v name="$1" '$1 == "boardstat_collector_data_age_seconds" { a = $2 }
    $1 == "boardstat_collector_last_refresh_timestamp_seconds" { t = $2 }
    $1 == "boardstat_acquired_lines_total{vfg=\"0\"}" { y = $2 }
    $1 == "boardstat_acquired_bytes_total{vfg=\"0\"}" { x = $2 }
    END { if (a == "" || t == "") exit 1; print name, a, t, y, x }'
}
fresh() { collector "$1" | awk '$2 < 1.5' | grep -q .; }
within 5 fresh before || fail "hang: data not fresh before: $(collector before)"
before=$(collector before)
kill -STOP "$reader"
sleep 4.5
read -r _ age time _ <<< "$(collector hung)" || fail "hang: no answer to a scrape"
sleep 1
read -r _ later_age later_time _ <<< "$(collector later)" || fail "hang: no later answer"
awk -v a="$age" -v b="$later_age" -v t="$time" -v u="$later_time" \
  'BEGIN { exit !(a >= 2.5 && b >= a + 0.5 && t == u) }' ||
  fail "hang: data age $age then $later_age, refresh time $time then $later_time"
kill -CONT "$reader"
within 5 fresh after || fail "hang: data not fresh again: $(collector after)"
after=$(collector after)
rates=$(awk '$1 == "vfg" { v++ } v == 1 && $1 == "counter" && ($2 == 1421 || $2 == 1422) { print $3 }' \
  "$(dirname "$0")/../../sim/default.board")
awk -v before="$before" -v after="$after" -v rates="$rates" 'BEGIN {
  split(before, a); split(after, b); split(rates, r); s = b[3] - a[3]
  y = (b[4] - a[4]) / (r[1] * s) - 1; x = (b[5] - a[5]) / (16 * r[2] * s) - 1
  exit !(y * y < 1e-4 && x * x < 1e-4) }' ||
  fail "hang: VFG 0's lines and bytes grew from ($before) to ($after), not at the board's rates"
ends "$pid" TERM || fail "hang: status $?"
echo "hang: data age $age s, then $later_age s, while a board call hung"

# SIGTERM or SIGINT at once when main has blocked them (before that the process is still being
# loaded, where nothing of its own can act), or a few milliseconds on, in discovery, the first
# collection or the server's start: status 0 within a second, every time.
exporter_path=$(readlink -f "$exporter")
for signal in TERM INT; do
  for delay in 0 0 0 0 0 0 0.001 0.002 0.005 0.01 0.02 0.05 0.1 0.2; do
    run "$exporter" --web.listen-address 127.0.0.1:0 2> /dev/null
    # SigBlk of /proc/PID/status has bit 14 (SIGTERM) set once main has blocked the signals;
    # before the exec the shell's child may block them for a moment, so the program must be
    # the exporter already.
    blocked=
    for _ in $(seq 5000); do
      [ "$(readlink "/proc/$pid/exe" 2> /dev/null)" = "$exporter_path" ] || continue
      mask=$(awk '$1 == "SigBlk:" { print $2 }' "/proc/$pid/status" 2> /dev/null)
      [ -n "$mask" ] && (((0x$mask >> 14) & 1)) && blocked=1 && break
      kill -0 "$pid" 2> /dev/null || break
    done
    [ -n "$blocked" ] || fail "SIG$signal: the signals were never blocked"
    [ "$delay" = 0 ] || sleep "$delay"
    ends "$pid" "$signal" || fail "SIG$signal after $delay: status $?"
  done
done

# The textfile that went away: one complaint while it fails, then the end after 60 s.
within 80 stopped "$gone_pid" || fail "textfile failing: still running"
wait "$gone_pid"
status=$?
ran=$(($(now_ms) - gone_at))
[ "$status" -eq 1 ] || fail "textfile failing: status $status"
[ "$ran" -ge 59000 ] || fail "textfile failing: ended after $ran ms"
complaints=$(grep -c 'cannot write' "$tmp/gone.err")
[ "$complaints" -eq 2 ] || fail "textfile failing: $complaints lines, not 2: $(cat "$tmp/gone.err")"
tail -n 1 "$tmp/gone.err" | grep -q 'could not be written for 60 s, stopping$' ||
  fail "textfile failing: last line $(tail -n 1 "$tmp/gone.err")"
echo "textfile failing: ended with status 1 after $ran ms"
