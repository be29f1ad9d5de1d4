#!/usr/bin/env bash
# The .tar.gz as a user unpacks it into the build's install prefix: the exporter's unit names
# the program where it lands there, no file names the build folder or cpack's staging folder,
# the licence, the alert rules and the dashboard are inside. The programs run from there as
# from any install (install_test.sh). Usage: archive_test.sh BUILD_DIR INSTALL_PREFIX SOURCE_DIR
# shellcheck source=tests/packaging/package.sh
source "$(dirname "$0")/package.sh"
build=$(realpath "$1") prefix=$2 source=$3
make_package TGZ "boardstat-*.tar.gz"
top=$w/unpacked
mkdir "$top" && tar -xzf "$package" -C "$top" --strip-components=1 || give_up "tar cannot unpack $package"

cmp -s "$source/LICENSE" "$top/share/doc/boardstat/LICENSE" || fail "no LICENSE, or another one"
grep -q '^License: Apache-2.0' "$top/share/doc/boardstat/copyright" ||
  fail "the copyright file names no Apache-2.0 licence"
leaks=$(grep -rlI -e "$build" -e "$w" -e _CPack_Packages "$top")
[ -z "$leaks" ] || fail "files name the build or staging folder: $leaks"
exec_start=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$top/lib/systemd/system/boardstat_exporter.service")
[ "$exec_start" = "$prefix/bin/boardstat_exporter" ] ||
  fail "the unit's ExecStart names '$exec_start', not $prefix/bin/boardstat_exporter"
shipped_as_is "$top" "the .tar.gz"
passed "$(basename "$package"): unpacks into $prefix"
