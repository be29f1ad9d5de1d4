#!/usr/bin/env bash
# Installs the build as a packager does (DESTDIR, prefix /usr) and as a user does (--prefix),
# then runs the installed programs from there, away from the build folder (where they never
# fall back to the simulated board: it is asked for by name), and verifies the
# exporter's systemd unit: it names the installed program, takes its flags from the file
# installed beside it, passes `systemd-analyze verify`, and systemd rates its exposure 4.0 or
# better ("OK", `systemd-analyze security --offline`). Usage: install_test.sh BUILD_DIR
# shellcheck source=tests/package/package.sh
source "$(dirname "$0")/package.sh"
build=$(realpath "$1")
cd "$w" || exit 1
install_into "$w/root"
usr=$w/root/usr

for file in bin/boardstat lib/boardstat/libboardsim.so share/man/man1/boardstat.1.gz share/doc/boardstat/default.board \
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

# The installed exporter: one collection into a textfile folder, and its unit.
mkdir prom
BOARDSTAT_BOARD_LIBRARY=sim timeout 20 "$usr/bin/boardstat_exporter" --once --textfile.directory prom \
  > exporter.out 2>&1 ||
  fail "boardstat_exporter --once: status $?, $(cat exporter.out)"
grep -q '^# TYPE ' prom/boardstat.prom 2>/dev/null || fail "no metrics in prom/boardstat.prom"
unit=$usr/lib/systemd/system/boardstat_exporter.service
grep -qx 'ExecStart=/usr/bin/boardstat_exporter $ARGS' "$unit" || fail "no unit, or ExecStart wrong"
defaults=$(sed -n 's/^EnvironmentFile=-\{0,1\}//p' "$unit")
[ -n "$defaults" ] && grep -q '^ARGS=' "$w/root$defaults" 2>/dev/null ||
  fail "EnvironmentFile '$defaults' is not installed with an ARGS= line"
if command -v systemd-analyze > /dev/null; then
  # verify opens ExecStart and the man page of Documentation=: both the installed copies.
  mkdir check
  sed "s|=/usr/bin/|=$usr/bin/|" "$unit" > check/boardstat_exporter.service
  out=$(cd check && MANPATH="$usr/share/man" timeout 60 systemd-analyze verify \
        boardstat_exporter.service 2>&1) && [ -z "$out" ] || fail "systemd-analyze verify: $out"
  out=$(timeout 60 systemd-analyze security --offline=true --no-pager "$unit" 2>&1)
  exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' <<< "$out")
  [ -n "$exposure" ] && awk -v e="$exposure" 'BEGIN { exit !(e <= 4.0) }' ||
    fail "exposure '$exposure', not 4.0 or better; $(grep '✗' <<< "$out" || echo "$out")"
else
  [ "${CI:-}" != true ] || fail "systemd-analyze is missing"
  echo "systemd-analyze is missing: the unit is not verified"
fi

# Another prefix, without DESTDIR: everything under it.
install_into "" "$w/opt"
printf q | BOARDSTAT_BOARD_LIBRARY=sim timeout 10 "$w/opt/bin/boardstat" > /dev/null ||
  fail "--prefix: boardstat does not run"
[ -f "$w/opt/share/man/man1/boardstat.1.gz" ] || fail "--prefix: no man page under the prefix"
grep -q "^ExecStart=$w/opt/bin/boardstat_exporter " "$w/opt/lib/systemd/system/boardstat_exporter.service" ||
  fail "--prefix: the unit does not name $w/opt/bin/boardstat_exporter"
passed "installed programs: all checks passed, the unit's exposure ${exposure:-not rated}"
