#!/bin/bash
# boardstat_snapshot.exe under wine writes the same snapshot as on Linux: the committed snapshot
# of the built-in board is its own snapshot, on standard output and with -o.
#   snapshot_wine_test.sh SNAPSHOT_EXE WINE SOURCE_DIR
set -u
exe=$1 wine=$2 status=0
# shellcheck source=tests/lib.sh
source "$(dirname "$0")/../lib.sh"
require wine64 "$wine"
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work" || exit 1
cp "$3/tests/snapshot/testdata/builtin.board" .
export SOURCE_DATE_EPOCH=0 BOARDSIM_CONFIG=builtin.board WINEDEBUG=-all
timeout 120 "$wine" "$exe" >stdout.board || { echo "FAIL: status $? to standard output" && status=1; }
timeout 120 "$wine" "$exe" -o file.board || { echo "FAIL: status $? with -o" && status=1; }
# The header's line naming the library file differs from machine to machine.
for out in stdout.board file.board; do
  cmp -s <(grep -v '^# Read through ' "$out") <(grep -v '^# Read through ' builtin.board) || { echo "FAIL: $out differs:" && diff "$out" builtin.board | head -n 5; status=1; }
done
exit $status
