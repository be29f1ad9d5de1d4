#!/usr/bin/env bash
# Installs the build as a packager does (DESTDIR, prefix /usr) and as a user does (--prefix),
# then runs the installed programs from there, away from the build folder, and verifies the
# exporter's systemd unit.
# Usage: install_test.sh BUILD_DIR
set -u
build=$(realpath "$1")
w=$(mktemp -d)
trap 'rm -rf "$w"' EXIT
cd "$w" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

DESTDIR="$w/root" cmake --install "$build" --prefix /usr > install.log 2>&1 ||
  { cat install.log; echo "FAIL: cmake --install"; exit 1; }
usr=$w/root/usr

for file in bin/boardstat share/man/man1/boardstat.1.gz share/doc/boardstat/default.board \
            share/doc/boardstat/boardsim.md share/doc/boardstat/copyright \
            share/doc/boardstat/changelog.gz; do
  [ -f "$usr/$file" ] || fail "not installed: $file"
done
# Outside the prefix only the exporter's flags file, where Debian keeps such files.
outside=$(cd "$w/root" && find . ! -path ./usr ! -path './usr/*' ! -path ./etc ! -path ./etc/default \
  ! -path ./etc/default/boardstat_exporter ! -path .)
[ -z "$outside" ] || fail "installed outside the prefix: $outside"
for program in "$usr"/bin/*; do
  name=$(basename "$program")
  [ -f "$usr/share/man/man1/$name.1.gz" ] || fail "$name has no man page"
done
# A path into the build tree in an installed text means it only works beside the build.
leaks=$(grep -rlI -F -- "$build" "$w/root" 2>/dev/null)
[ -z "$leaks" ] || fail "installed files name the build folder: $leaks"

# The installed console on the installed example description, the built-in board's three VFGs.
printf q | BOARDSIM_CONFIG="$usr/share/doc/boardstat/default.board" \
  timeout 10 "$usr/bin/boardstat" > example.screen 2> stderr
status=$?
[ "$status" -eq 0 ] && grep -qF 'VFG (000) of (002)' example.screen && [ ! -s stderr ] ||
  fail "the installed boardstat on default.board: status $status, $(cat stderr)"

# The installed exporter, when this build has one: one collection into a textfile folder, and
# its systemd unit naming the installed program and passing `systemd-analyze verify` (which
# opens ExecStart and the man page of Documentation=: both pointed at the installed copies).
unit=$usr/lib/systemd/system/boardstat_exporter.service
if [ -e "$usr/bin/boardstat_exporter" ]; then
  mkdir prom
  timeout 20 "$usr/bin/boardstat_exporter" --once --textfile.directory prom > exporter.out 2>&1 ||
    fail "boardstat_exporter --once: status $?, $(cat exporter.out)"
  grep -q '^# TYPE ' prom/boardstat.prom 2>/dev/null || fail "no metrics in prom/boardstat.prom"
  grep -qx 'ExecStart=/usr/bin/boardstat_exporter $ARGS' "$unit" || fail "no unit, or ExecStart wrong"
  if command -v systemd-analyze > /dev/null; then
    mkdir check
    sed "s|=/usr/bin/|=$usr/bin/|" "$unit" > check/boardstat_exporter.service
    out=$(cd check && MANPATH="$usr/share/man" timeout 60 systemd-analyze verify \
          boardstat_exporter.service 2>&1) && [ -z "$out" ] || fail "systemd-analyze verify: $out"
  else
    echo "systemd-analyze is missing: the unit is not verified"
  fi
else
  [ ! -e "$unit" ] || fail "a unit is installed without the exporter"
fi

# Another prefix, without DESTDIR: everything under it.
cmake --install "$build" --prefix "$w/opt" > install-opt.log 2>&1 ||
  { cat install-opt.log; fail "cmake --install --prefix"; }
printf q | timeout 10 "$w/opt/bin/boardstat" > /dev/null || fail "--prefix: boardstat does not run"
[ -f "$w/opt/share/man/man1/boardstat.1.gz" ] || fail "--prefix: no man page under the prefix"
if [ -e "$w/opt/bin/boardstat_exporter" ]; then
  grep -q "^ExecStart=$w/opt/bin/boardstat_exporter " "$w/opt/lib/systemd/system/boardstat_exporter.service" ||
    fail "--prefix: the unit does not name $w/opt/bin/boardstat_exporter"
fi

[ "$failures" -eq 0 ] && echo "installed programs: all checks passed"
[ "$failures" -eq 0 ]
