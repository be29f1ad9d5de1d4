#!/bin/bash
# The built exporter on the built-in board, stopped (SIGSTOP) for 50 to 1000 ms and continued
# (SIGCONT) for 50 to 1000 ms, over and over. Its totals must be what the board counted at the
# description's rates in the board time between two scrapes: frames and lines to within one
# poll, bytes within 0.5%, no clear. Then a second run with the acquired counts of VFG 0 and 2
# cleared by the board at 8 s, while the exporter is stopped: exactly one clear each, and the
# totals count from there.
#
# Usage: stall_test.sh EXPORTER SECONDS (in all: SECONDS - 10 of stalls in the first run, about
# 10 s in the second).
# STALL_SEED=N repeats a run's stalls.
set -u
exporter=$1
seconds=$2
seed=${STALL_SEED:-$(($(date +%s) % 32768))}
echo "seed $seed (STALL_SEED=$seed repeats the stalls)"
RANDOM=$seed
dir=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then
    kill -CONT "$pid" 2> /dev/null
    kill -KILL "$pid" 2> /dev/null
    wait "$pid" 2> /dev/null
  fi
  rm -rf "$dir"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

# The built-in board's acquired counts a second (X in 16-byte units), as rate[0Y], from its
# description.
board=$(dirname "$0")/../../sim/default.board
declare -A rate
while read -r key r; do rate[$key]=$r; done < <(awk '$1 == "vfg" { v++ }
  $1 == "counter" && $2 >= 1419 && $2 <= 1422 { print v - 1 substr("VZYX", $2 - 1418, 1), $3 }' \
  "$board")
[ "${#rate[@]}" -eq 8 ] || fail "rates not read from $board"
declare -A family=([V]=volumes [Z]=frames [Y]=lines [X]=bytes)
poll=0.005

start_exporter() {  # DESCRIPTION (empty: the built-in board); sets pid and url
  local _
  for _ in 1 2 3; do
    port=$((20000 + RANDOM % 30000))
    BOARDSIM_CONFIG=$1 "$exporter" --web.listen-address="127.0.0.1:$port" --collect.probe=none \
      2> "$dir/stderr" &
    pid=$!
    url="http://127.0.0.1:$port/metrics"
    for _ in $(seq 100); do
      curl -sf -m 2 -o /dev/null "$url" && return 0
      kill -0 "$pid" 2> /dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2> /dev/null
    wait "$pid" 2> /dev/null
  done
  pid=
  fail "the exporter did not start: $(cat "$dir/stderr")"
}

# scrape NAME: the exposition in $dir/NAME, and in $dir/NAME.time the wall time its counts were
# read (the collector's last refresh) and how far off that may be (the time from the counts'
# read to the refresh's publication, a few milliseconds at most). Bash's own socket.
scrape() {
  local line
  exec 3<> "/dev/tcp/127.0.0.1/$port" || fail "scrape $1: no connection"
  printf 'GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n' >&3
  IFS= read -r -t 5 line <&3 || fail "scrape $1: no answer"
  timeout 5 cat <&3 > "$dir/$1"
  exec 3<&-
  awk '$1 == "boardstat_collector_last_refresh_timestamp_seconds" { printf "%.6f 0.002\n", $2 }' \
    "$dir/$1" > "$dir/$1.time"
  [ -s "$dir/$1.time" ] || fail "scrape $1 has no refresh time: $line"
}
value() {  # SCRAPE SERIES
  awk -v s="$2" '$1 == s { print $2 }' "$dir/$1"
}

sleep_ms() { sleep "$(printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)))"; }
stall_until() {  # WALL_TIME: stop and continue at random until then
  while awk -v t="$1" -v now="$EPOCHREALTIME" 'BEGIN { exit !(now < t) }'; do
    kill -STOP "$pid"
    sleep_ms $((50 + RANDOM % 951))
    kill -CONT "$pid"
    sleep_ms $((50 + RANDOM % 951))
  done
}
# Two scrapes a refresh apart, the first once the exporter has run unstopped for a refresh.
scrape_twice() {  # NAME: NAME1 and NAME2
  sleep 1.2
  scrape "${1}1"
  sleep 1.1
  scrape "${1}2"
}

# compare VFG COUNT [CLEAR_AT]: the total in scrapes B1 and B2 against what the board counted by
# then: since scrape A1 or A2 (the total there, plus the rate x the time between), or since the
# clear at board time CLEAR_AT (each A's board time read from its lines). The pair with the
# smallest error relative to its tolerance decides: a total that is wrong is wrong in every
# scrape, a hiccup in the timing (a read and its publication apart) is in one.
compare() {
  local v=$1 c=$2 series="boardstat_acquired_${family[$2]}_total{vfg=\"$1\"}" s
  local -a at
  for s in A1 A2 B1 B2; do
    at+=("$(value "$s" "$series") $(value "$s" "boardstat_acquired_lines_total{vfg=\"$v\"}") \
$(cat "$dir/$s.time")")
  done
  awk -v r="${rate[$v$c]}" -v ry="${rate[${v}Y]}" -v c="$c" -v vfg="$v" -v clear_at="${3:-}" \
    -v poll="$poll" -v a1="${at[0]}" -v a2="${at[1]}" -v b1="${at[2]}" -v b2="${at[3]}" '
    BEGIN {
      unit = c == "X" ? 16 : 1
      best = -1
      for (i = 1; i <= 2; i++) for (j = 1; j <= 2; j++) {
        # total, lines, read time, half the request
        split(i == 1 ? a1 : a2, a, " ")
        split(j == 1 ? b1 : b2, b, " ")
        if (b[1] == "" || a[1] == "") exit 1
        got = b[1] / unit
        want = clear_at == "" ? a[1] / unit + r * (b[3] - a[3]) \
                              : r * (a[2] / ry + b[3] - a[3] - clear_at)
        tolerance = c == "X" ? want * 0.005 : r * (a[4] + b[4] + poll + 0.002) + 1
        d = got - want
        off = (d < 0 ? -d : d) / tolerance
        if (best < 0 || off < best) {
          best = off
          line = sprintf("VFG %s %s: %.0f, the board %.1f (%+.1f, tolerance %.1f)", vfg, c, got,
                         want, d, tolerance)
        }
      }
      print line
      exit !(best <= 1)
    }' || fail "VFG $v's ${family[$c]} total is off"
}
clears_are() {  # N
  local v got
  for v in 0 2; do
    got=$(value B2 "boardstat_acquired_clears_total{vfg=\"$v\"}")
    [ "$got" = "$1" ] || fail "VFG $v counted ${got:-no} clears, not $1"
  done
}

# 1. Stalls, nothing cleared: what each count moved between the A and the B scrapes.
start_exporter ""
scrape_twice A
stall_until "$(awk -v n="$EPOCHREALTIME" -v s="$seconds" 'BEGIN { printf "%.6f", n + s - 10 }')"
scrape_twice B
for v in 0 2; do
  for c in V Z Y X; do compare "$v" "$c"; done
done
clears_are 0
kill -TERM "$pid"
wait "$pid"
pid=

# 2. The board clears VFG 0's and VFG 2's acquired counts at 8 s as the console's c does, while
# the exporter is stopped. The A scrapes, before it, give each VFG's board time from its lines.
clear_at=8
sed "/^counter 1422 /a at ${clear_at}s write 1419 0\nat ${clear_at}s write 1420 0\nat ${clear_at}s write 1421 0\nat ${clear_at}s write 1422 0" \
  "$board" > "$dir/cleared.board"
[ "$(grep -c "^at ${clear_at}s write" "$dir/cleared.board")" -eq 8 ] || fail "no clear scheduled"
start_exporter "$dir/cleared.board"
scrape_twice A
read -r t_a _ < "$dir/A2.time"
vfg0_at_a=$(awk -v y="$(value A2 'boardstat_acquired_lines_total{vfg="0"}')" -v r="${rate[0Y]}" \
  'BEGIN { printf "%.6f", y / r }')
wall_of() {  # BOARD_TIME (an awk expression) of VFG 0
  awk -v b="$vfg0_at_a" -v a="$t_a" "BEGIN { printf \"%.6f\", a + ($1) - b }"
}
sleep_until() {  # WALL_TIME
  local d
  d=$(awk -v t="$1" -v now="$EPOCHREALTIME" 'BEGIN { d = t - now; printf "%.3f\n", (d > 0 ? d : 0) }')
  [ -n "$d" ] || fail "no time to sleep until: '$1' (A2 at $t_a, board time $vfg0_at_a)"
  sleep "$d"
}
awk -v b="$vfg0_at_a" -v c="$clear_at" 'BEGIN { exit !(b < c - 3) }' ||
  fail "scrape A2 came too late, at $vfg0_at_a s of board time"
stall_until "$(wall_of $((clear_at - 3)))"
sleep_until "$(wall_of "$clear_at - 0.5")"
kill -STOP "$pid"
sleep_until "$(wall_of "$clear_at + 0.5")"
kill -CONT "$pid"
stall_until "$(wall_of $((clear_at + 4)))"
scrape_twice B
for v in 0 2; do
  for c in V Z Y X; do compare "$v" "$c" "$clear_at"; done
done
clears_are 1
kill -TERM "$pid"
wait "$pid"
status=$?
pid=
[ "$status" -eq 0 ] || fail "SIGTERM: status $status"
echo PASS
