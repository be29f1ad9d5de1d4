#!/usr/bin/env bash
# The exporter's installed systemd unit as systemd rates it: an exposure of 4.0 or better
# ("OK") from `systemd-analyze security --offline`, and its flags read from the file installed
# beside it. Usage: unit_security_test.sh BUILD_DIR
set -u
build=$(realpath "$1")
command -v systemd-analyze > /dev/null ||
  { echo "SKIP: systemd-analyze is missing (apt-get install systemd)"; exit 77; }
w=$(mktemp -d)
trap 'rm -rf "$w"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

DESTDIR="$w/root" cmake --install "$build" --prefix /usr > "$w/install.log" 2>&1 ||
  { cat "$w/install.log"; echo "FAIL: cmake --install"; exit 1; }
unit=$w/root/usr/lib/systemd/system/boardstat_exporter.service
[ -e "$unit" ] || { echo "SKIP: this build has no exporter"; exit 77; }

out=$(cd "$w" && timeout 60 systemd-analyze security --offline=true --no-pager "$unit" 2>&1)
exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' <<< "$out")
if [ -z "$exposure" ]; then
  fail "systemd-analyze security gives no exposure: $out"
elif awk -v e="$exposure" 'BEGIN { exit !(e > 4.0) }'; then
  fail "exposure $exposure, more than 4.0; what counts against it:
$(grep '✗' <<< "$out")"
fi

# The unit's flags file: the one installed, holding ARGS, which the command line passes on.
defaults=$(sed -n 's/^EnvironmentFile=-\{0,1\}//p' "$unit")
[ -n "$defaults" ] && grep -q '^ARGS=' "$w/root$defaults" 2>/dev/null ||
  fail "EnvironmentFile '$defaults' is not installed with an ARGS= line"
grep -q '^ExecStart=/usr/bin/boardstat_exporter \$ARGS$' "$unit" ||
  fail "ExecStart does not pass \$ARGS: $(grep '^ExecStart=' "$unit")"

[ "$failures" -eq 0 ] && echo "exporter unit: exposure $exposure, flags from $defaults"
[ "$failures" -eq 0 ]
