#!/bin/bash
# boardstat_snapshot on the simulated board.
#
#   snapshot_test.sh CONSOLE SNAPSHOT SOURCE_DIR
#
# Round trips through the console: the console on a snapshot must show the screens of the
# original (counts aside), and the snapshot of a snapshot must be the same file
# (probe_replay_test.py takes the --probe snapshots). Then -o PATH over what PATH can be.
set -u
console=$1
snapshot=$2
source_dir=$3
testdata=$source_dir/tests/snapshot/testdata
# shellcheck source=tests/lib.sh
source "$(dirname "$0")/../lib.sh" && servers_set_up  # $tmp, within, read_table
export SOURCE_DATE_EPOCH=0
failures=0

check() {  # NAME COMMAND...: runs the command, reports
  if "${@:2}"; then echo "PASS $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}

# The console's screens for KEYS on BOARD (empty: the built-in board), with the moving counts
# and nothing else masked.
screens() {  # BOARD KEYS
  printf '%s' "$2" | BOARDSIM_CONFIG=$1 timeout 120 "$console" |
    sed -E '/^([VZYX] Acquired|QTabs |Quads (Loaded|Used)|Num PCIe packets)/ s/[0-9]+/N/g'
}

snap() { BOARDSIM_CONFIG=$1 timeout 120 "$snapshot" "${@:2}"; }  # BOARD: its snapshot

same_screens() { diff <(screens "$1" "$3") <(screens "$2" "$3"); }  # ORIGINAL SNAPSHOT KEYS

# The same snapshot but for the header's line naming the library file it was read through.
same_snapshot() { cmp -s <(grep -v '^# Read through ' "$1") <(grep -v '^# Read through ' "$2"); }

# --- The built-in board: every panel but SystemProbe, on every VFG --------------------------
snap "" > "$tmp/builtin.board"
check "built-in board: console on the snapshot shows the same screens" \
  same_screens "" "$tmp/builtin.board" 'lrabpti++q'
check "the committed snapshot of the built-in board is its own snapshot" \
  same_snapshot <(snap "$testdata/builtin.board") "$testdata/builtin.board"

# --- A VFG that cannot be opened --------------------------------------------------------------
snap "$testdata/open_fails.board" > "$tmp/open_fails.board"
check "open-fails: written as such, between the two others" \
  test "$(grep -o '^vfg\( open-fails\)\?' "$tmp/open_fails.board")" = $'vfg\nvfg open-fails\nvfg'
check "open-fails: the console fails on the snapshot as on the original" \
  same_screens "$testdata/open_fails.board" "$tmp/open_fails.board" 'lq'
check "open-fails: the VFG after it is in the snapshot" \
  grep -q '^reg 2812 4 ' "$tmp/open_fails.board"

# --- 33 VFGs: the first 32 are written, and each shows as before ------------------------------
for i in $(seq 0 32); do
  printf 'vfg\nreg 2856 %d\nreg 2812 %d\nreg 2772 %d\n' $((i % 6)) $((i % 6)) "$i"
done > "$tmp/vfgs33.board"
snap "$tmp/vfgs33.board" > "$tmp/vfgs33.snapshot"
check "33 VFGs: 32 written" test "$(grep -c '^vfg' "$tmp/vfgs33.snapshot")" = 32
check "33 VFGs: every screen the same" \
  same_screens "$tmp/vfgs33.board" "$tmp/vfgs33.snapshot" "lta$(printf '+%.0s' $(seq 31))q"

# --- -o PATH: a file replaced whole with its mode and owner kept, a symlink followed, a device
# or FIFO written in place, errors naming PATH as given, a bad output found before the probe
# measures
mkdir "$tmp/out" && cd "$tmp/out" || exit 1
umask 022
export BOARDSIM_CONFIG=$testdata/open_fails.board
snap "$BOARDSIM_CONFIG" > expected.board || exit 1
root=$([ "$(id -u)" = 0 ] && echo yes)
given_away() { [ -z "$root" ] || chown nobody "$1"; }  # only root can
kept_owner() { [ -z "$root" ] || [ "$(stat -c %U "$1")" = nobody ]; }

# The cases, one a line: output_cases.txt (its header names the columns).
mapfile -t cases < <(read_table "$source_dir/tests/snapshot/output_cases.txt")
for row in "${cases[@]}"; do
  IFS=$'\x1f' read -r name setup args status pattern verify <<< "$row"
  eval "$setup"
  eval "set -- $args"
  BOARDSIM_TRACE=$PWD/trace timeout 60 "$snapshot" "$@" > stdout 2> stderr
  got=$?
  problems=""
  [ "$got" = "$status" ] || problems+=" exit $got, not $status;"
  if [ -n "$pattern" ]; then grep -qE -- "$pattern" stderr; else [ ! -s stderr ]; fi ||
    problems+=" standard error '$(cat stderr)';"
  eval "$verify" || problems+=" check failed: $verify;"
  leftovers=$(find . -name '*.tmp')
  [ -z "$leftovers" ] || problems+=" temporary files left: $leftovers;"
  check "-o: $name${problems:+:$problems}" test -z "$problems"
done
[ "$failures" = 0 ] || { echo "$failures check(s) failed"; exit 1; }
