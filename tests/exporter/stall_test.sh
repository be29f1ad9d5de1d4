#!/bin/bash
# The built exporter on the built-in board, stopped (SIGSTOP) for 50 to 1000 ms and continued
# (SIGCONT) for 50 to 1000 ms, over and over, while the board clears the acquired counts of VFG 0
# and 2 once, at SECONDS - 2 of board time, with the exporter stopped. Its totals must be what
# the board counted at the description's rates in the board time between two pairs of scrapes:
# from A to B, before the clear, frames and lines to within one poll, bytes within 0.5%, no
# clear; from B to C, across it, exactly one clear each and the totals counting from there.
#
# Usage: stall_test.sh EXPORTER SECONDS (about SECONDS in all, all but 5 of them stalls).
# STALL_SEED=N repeats a run's stalls.
set -u
exporter=$1
seconds=$2
seed=${STALL_SEED:-$(($(date +%s) % 32768))}
echo "seed $seed (STALL_SEED=$seed repeats the stalls)"
# shellcheck source=tests/servers.sh
source "$(dirname "$0")/../servers.sh"
trap 'kill -CONT "${pids[@]}" 2> /dev/null; cleanup' EXIT
board=$(dirname "$0")/../../sim/default.board
clear_at=$((seconds - 2))
awk -v at="$clear_at" '{ print }
  /^counter 1422 / { for (r = 1419; r <= 1422; r++) print "at " at "s write " r " 0" }' \
  "$board" > "$tmp/board"
start exporter /metrics env BOARDSIM_CONFIG="$tmp/board" "$exporter" \
  --web.listen-address=127.0.0.1:@PORT@ --collect.probe=none
pid=${pids[-1]}
RANDOM=$seed
poll=0.005

# Two scrapes a refresh apart, NAME1 and NAME2 in $tmp, the first once the exporter has run
# unstopped for a refresh.
scrape_twice() {  # NAME
  sleep 1.2
  curl -sf -m 5 -o "$tmp/${1}1" "http://127.0.0.1:$port/metrics" || fail "scrape ${1}1"
  sleep 1.1
  curl -sf -m 5 -o "$tmp/${1}2" "http://127.0.0.1:$port/metrics" || fail "scrape ${1}2"
}
# Board times (seconds since the board opened) as wall times: $offset from scrape A2, its
# collector's refresh time and VFG 0's lines at their rate.
before() { awk -v t="$1" -v o="$offset" -v now="$EPOCHREALTIME" 'BEGIN { exit !(now < o + t) }'; }
sleep_until() {  # BOARD_TIME
  sleep "$(awk -v t="$1" -v o="$offset" -v now="$EPOCHREALTIME" \
    'BEGIN { d = o + t - now; printf "%.3f", (d > 0 ? d : 0) }')"
}
sleep_ms() { sleep "$(printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)))"; }
stall_until() {  # BOARD_TIME: stop and continue at random until then
  while before "$1"; do
    kill -STOP "$pid"
    sleep_ms $((50 + RANDOM % 951))
    kill -CONT "$pid"
    sleep_ms $((50 + RANDOM % 951))
  done
}

# check FROM TO [CLEAR_AT]: each acquired total of VFG 0 and 2 in the TO scrapes against what the
# board counted by then: since a FROM scrape (the total there, plus the rate x the time between
# their refreshes), or since the clear at board time CLEAR_AT (the FROM scrape's board time read
# from its lines); and as many clears as CLEAR_AT says. The pair with the smallest error relative
# to its tolerance decides: a total that is wrong is wrong in every scrape, a hiccup in the
# timing (a read and its publication apart) is in one.
check() {
  awk -v clear_at="${3:-}" -v poll="$poll" '
    FILENAME == ARGV[1] {  # the rates of the counts 1419 to 1422 (V, Z, Y, X) of each VFG
      if ($1 == "vfg") v++
      if ($1 == "counter" && $2 >= 1419 && $2 <= 1422) rate[v - 1 substr("VZYX", $2 - 1418, 1)] = $3
      next
    }
    FNR == 1 { s++ }
    $1 == "boardstat_collector_last_refresh_timestamp_seconds" { t[s] = $2 }
    $1 ~ /^boardstat_acquired_[a-z]+_total\{vfg="[02]"\}$/ {
      split($1, p, /[_{"]/)
      total[s, p[6], p[3]] = $2
      series++
    }
    END {
      split("volumes frames lines bytes", family, " ")
      if (series != 40) { print "not 5 acquired series of VFG 0 and 2 in each scrape"; exit 1 }
      for (v = 0; v <= 2; v += 2) {
        if (total[4, v, "clears"] != (clear_at != "")) {
          printf "VFG %d counted %s clears\n", v, total[4, v, "clears"]
          bad = 1
        }
        for (k = 1; k <= 4; k++) {
          c = substr("VZYX", k, 1)
          r = rate[v c]
          unit = c == "X" ? 16 : 1
          best = -1
          for (i = 1; i <= 2; i++) for (j = 3; j <= 4; j++) {
            got = total[j, v, family[k]] / unit
            want = clear_at == "" ? total[i, v, family[k]] / unit + r * (t[j] - t[i]) \
                                  : r * (total[i, v, "lines"] / rate[v "Y"] + t[j] - t[i] - clear_at)
            tolerance = c == "X" ? want * 0.005 : r * (poll + 0.006) + 1
            off = (got > want ? got - want : want - got) / tolerance
            if (best < 0 || off < best) {
              best = off
              line = sprintf("VFG %s %s: %.0f, the board %.1f (%+.1f, tolerance %.1f)", v, c, got,
                             want, got - want, tolerance)
            }
          }
          print line
          if (!(best <= 1)) bad = 1
        }
      }
      exit bad
    }' "$board" "$tmp/${1}1" "$tmp/${1}2" "$tmp/${2}1" "$tmp/${2}2" || fail "totals from $1 to $2"
}

scrape_twice A
offset=$(awk '$1 == "vfg" { v++ } v == 1 && $1 == "counter" && $2 == 1421 { r = $3 }
  $1 == "boardstat_collector_last_refresh_timestamp_seconds" { t = $2 }
  $1 == "boardstat_acquired_lines_total{vfg=\"0\"}" { y = $2 }
  END { printf "%.6f", t - y / r }' "$board" "$tmp/A2")
# Stalls, nothing cleared.
stall_until $((clear_at - 8))
scrape_twice B
before $((clear_at - 3)) || fail "scrape B2 came too late"
check A B
# The clear, as the console's c does, inside a stop of its own, stalls around it.
stall_until $((clear_at - 3))
sleep_until "$((clear_at - 1)).5"
kill -STOP "$pid"
sleep_until "$clear_at.5"
kill -CONT "$pid"
stall_until $((clear_at + 4))
scrape_twice C
check B C "$clear_at"
kill -TERM "$pid"
wait "$pid" || fail "SIGTERM: status $?"
echo PASS
