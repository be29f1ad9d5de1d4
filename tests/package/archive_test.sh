#!/usr/bin/env bash
# The .tar.gz as a user unpacks it into the build's install prefix: the exporter's unit names
# the program where it lands there, no file names the build folder or cpack's staging folder,
# and the licence is inside. Usage: archive_test.sh BUILD_DIR INSTALL_PREFIX SOURCE_DIR
set -u
build=$(realpath "$1")
prefix=$2
source=$(realpath "$3")
w=$(mktemp -d)
trap 'rm -rf "$w"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

timeout 100 cpack --config "$build/CPackConfig.cmake" -G TGZ -B "$w/out" > "$w/cpack.log" 2>&1 ||
  { cat "$w/cpack.log"; echo "FAIL: cpack -G TGZ"; exit 1; }
archives=("$w"/out/boardstat-*.tar.gz)
[ "${#archives[@]}" -eq 1 ] && [ -f "${archives[0]}" ] ||
  { echo "FAIL: no single .tar.gz: ${archives[*]}"; exit 1; }
mkdir "$w/unpacked"
tar -xzf "${archives[0]}" -C "$w/unpacked" --strip-components=1 ||
  { echo "FAIL: tar cannot unpack ${archives[0]}"; exit 1; }
top=$w/unpacked

cmp -s "$source/LICENSE" "$top/share/doc/boardstat/LICENSE" || fail "no LICENSE, or another one"
grep -q '^License: Apache-2.0' "$top/share/doc/boardstat/copyright" ||
  fail "the copyright file names no Apache-2.0 licence"
leaks=$(grep -rlI -e "$build" -e "$w" -e _CPack_Packages "$top")
[ -z "$leaks" ] || fail "files name the build or staging folder: $leaks"

unit=$top/lib/systemd/system/boardstat_exporter.service
if [ -e "$top/bin/boardstat_exporter" ]; then
  exec_start=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit" 2>/dev/null)
  [ "$exec_start" = "$prefix/bin/boardstat_exporter" ] ||
    fail "the unit's ExecStart names '$exec_start', not $prefix/bin/boardstat_exporter"
fi

[ "$failures" -eq 0 ] && echo "$(basename "${archives[0]}"): unpacks into $prefix"
[ "$failures" -eq 0 ]
