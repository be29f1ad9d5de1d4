#!/bin/bash
# Round trips of boardstat_snapshot through the console on the simulated board.
#
#   snapshot_test.sh CONSOLE SNAPSHOT SOURCE_DIR
#
# The console on a snapshot must show the screens of the original (counts aside), the snapshot
# of a snapshot must be the same file, and the snapshot may write only window selectors (put
# back afterwards) and the rate probe.
set -u
console=$1
snapshot=$2
source_dir=$3
testdata=$source_dir/tests/snapshot/testdata
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=0
failures=0

check() {  # NAME COMMAND...: runs the command, reports
  local name=$1
  shift
  if "$@"; then
    echo "PASS $name"
  else
    echo "FAIL $name"
    failures=$((failures + 1))
  fi
}

# The console's screens for KEYS on BOARD (empty: the built-in board), with the moving counts
# and nothing else masked.
screens() {  # BOARD KEYS
  printf '%s' "$2" | BOARDSIM_CONFIG=$1 timeout 120 "$console" |
    sed -E '/^([VZYX] Acquired|QTabs |Quads (Loaded|Used)|Num PCIe packets)/ s/[0-9]+/N/g'
}

snap() {  # BOARD OPTIONS...: the snapshot on standard output
  local board=$1
  shift
  BOARDSIM_CONFIG=$board timeout 120 "$snapshot" "$@"
}

same_screens() {  # ORIGINAL SNAPSHOT KEYS
  diff <(screens "$1" "$3") <(screens "$2" "$3") > "$work/screen.diff"
}

# --- The built-in board: every panel but SystemProbe, on every VFG --------------------------
every_panel='lrabpti++q'
snap "" > "$work/builtin.board"
check "built-in board: console on the snapshot shows the same screens" \
  same_screens "" "$work/builtin.board" "$every_panel"
check "the committed snapshot of the built-in board is its own snapshot" \
  cmp -s <(snap "$testdata/builtin.board") "$testdata/builtin.board"

# --- A VFG that cannot be opened --------------------------------------------------------------
snap "$testdata/open_fails.board" > "$work/open_fails.board"
check "open-fails: written as such, between the two others" \
  test "$(awk '/^vfg/ { print ($2 == "open-fails" ? "vfg open-fails" : "vfg") }' \
    "$work/open_fails.board")" = $'vfg\nvfg open-fails\nvfg'
check "open-fails: the console fails on the snapshot as on the original" \
  same_screens "$testdata/open_fails.board" "$work/open_fails.board" 'lq'
check "open-fails: the VFG after it is in the snapshot" \
  grep -q '^reg 2812 4 ' "$work/open_fails.board"

# --- 33 VFGs: the first 32 are written, and each shows as before ------------------------------
for i in $(seq 0 32); do
  printf 'vfg\nreg 2856 %d\nreg 2812 %d\nreg 2772 %d\n' $((i % 6)) $((i % 6)) "$i"
done > "$work/vfgs33.board"
snap "$work/vfgs33.board" > "$work/vfgs33.snapshot"
check "33 VFGs: 32 written" test "$(grep -c '^vfg' "$work/vfgs33.snapshot")" = 32
check "33 VFGs: every screen the same" \
  same_screens "$work/vfgs33.board" "$work/vfgs33.snapshot" "lta$(printf '+%.0s' $(seq 31))q"

# --- Probe: figures within resolution, only selectors and probe written, selectors restored ---
# The built-in board with window selectors left set on its last VFG.
{
  cat "$source_dir/sim/default.board"
  printf 'reg 2880 3\nreg 2879 5\nreg 2878 7\nreg 2819 9\n'
} > "$work/selectors.board"
mkfifo "$work/trace"
grep -v ' 2911 -> 1$' < "$work/trace" > "$work/trace.txt" &  # the probe's busy polls
BOARDSIM_TRACE=$work/trace snap "$work/selectors.board" --probe -o "$work/probe.board"
wait
check "-o writes the file and leaves no temporary file" \
  test -s "$work/probe.board" -a "$(ls "$work" | grep -c tmp)" = 0
check "only window selectors and the rate probe are written" \
  test -z "$(awk '$1 == "poke" && !($3 ~ /^(2819|2878|2879|2880)$/ || ($3 >= 2898 && $3 <= 2913))' \
    "$work/trace.txt")"
last_pokes() {  # VFG: the last value written to each selector
  awk -v vfg="$1" '$1 == "poke" && $2 == vfg && $3 ~ /^(2819|2878|2879|2880)$/ { v[$3] = $4 }
    END { print v[2880], v[2879], v[2878], v[2819] }' "$work/trace.txt"
}
check "window selectors put back as found" \
  test "$(last_pokes 0)/$(last_pokes 2)" = "0 0 0 0/3 5 7 9"

# Each SystemProbe figure of the snapshot within one count of the original's: a count in a
# 0.1 s window is 10 a second (0.0000016 MHz of 16-byte transfers), a reference count 0.1 us.
probe_figures() {  # BOARD
  printf 'o++q' | BOARDSIM_CONFIG=$1 timeout 120 "$console" | grep -E '^[A-Za-z0-9 ]{25} : '
}
within_resolution() {
  paste -d'|' <(probe_figures "$work/selectors.board") <(probe_figures "$work/probe.board") |
    awk -F'|' '
      function value(line) { sub(/^[^:]*: */, "", line); split(line, w, " "); return w[1] }
      function unit(line) { sub(/^[^:]*: */, "", line); split(line, w, " "); return w[2] }
      {
        a = value($1); b = value($2); u = unit($1)
        if (a == "Unknown" || b == "Unknown") { if (a != b) { print; bad = 1 } ; next }
        step = (u ~ /\/sec$/ && u != "MBytes/sec") ? 10 : (u == "us" ? 0.1 : (u ~ /^(MHz|MBytes)/ ? 0.01 : 1))
        d = a - b; if (d < 0) d = -d
        if (d > step + 1e-9) { print; bad = 1 }
      }
      END { exit bad }'
}
check "probe: every SystemProbe figure within the probe's resolution" within_resolution

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
