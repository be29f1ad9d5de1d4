#!/bin/bash
# boardstat_snapshot.exe under wine writes the same snapshot as on Linux: the committed snapshot
# of the built-in board is its own snapshot, on standard output and with -o.
#
#   snapshot_wine_test.sh SNAPSHOT_EXE WINE SOURCE_DIR
set -u
exe=$1
wine=$2
testdata=$3/tests/snapshot/testdata
if ! command -v "$wine" > /dev/null; then
  echo "SKIPPED: no wine"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$testdata/builtin.board" "$work/"
cd "$work" || exit 1
export SOURCE_DATE_EPOCH=0 BOARDSIM_CONFIG=builtin.board WINEDEBUG=-all
status=0
timeout 120 "$wine" "$exe" > stdout.board || status=1
timeout 120 "$wine" "$exe" -o file.board || status=1
for out in stdout.board file.board; do
  if cmp -s "$out" builtin.board; then
    echo "PASS $out"
  else
    echo "FAIL $out differs:"
    diff "$out" builtin.board | head -5
    status=1
  fi
done
exit $status
