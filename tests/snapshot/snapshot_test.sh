#!/bin/bash
# Round trips of boardstat_snapshot through the console on the simulated board.
#
#   snapshot_test.sh CONSOLE SNAPSHOT SOURCE_DIR
#
# The console on a snapshot must show the screens of the original (counts aside), and the
# snapshot of a snapshot must be the same file. probe_replay_test.py takes the --probe snapshots.
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

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
