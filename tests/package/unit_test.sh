#!/usr/bin/env bash
# The exporter's systemd unit as installed: names the installed program and passes
# `systemd-analyze verify`. Skipped in a build without the exporter or without systemd.
# Usage: unit_test.sh BUILD_DIR
set -u
build=$(realpath "$1")
command -v systemd-analyze > /dev/null || { echo "SKIP: systemd-analyze is missing"; exit 77; }
w=$(mktemp -d)
trap 'rm -rf "$w"' EXIT
DESTDIR="$w/root" cmake --install "$build" --prefix /usr > "$w/install.log" 2>&1 ||
  { cat "$w/install.log"; echo "FAIL: cmake --install"; exit 1; }
unit=$w/root/usr/lib/systemd/system/boardstat_exporter.service
if [ ! -e "$w/root/usr/bin/boardstat_exporter" ]; then
  [ ! -e "$unit" ] || { echo "FAIL: a unit is installed without the exporter"; exit 1; }
  echo "SKIP: this build has no exporter"
  exit 77
fi
[ -f "$unit" ] || { echo "FAIL: no unit in lib/systemd/system"; exit 1; }
grep -qx 'ExecStart=/usr/bin/boardstat_exporter' "$unit" ||
  { echo "FAIL: ExecStart does not name /usr/bin/boardstat_exporter:"; grep ExecStart "$unit"; exit 1; }

# verify checks that ExecStart exists and that the man page in Documentation= opens: point
# both at the installed copies.
mkdir "$w/check"
sed "s|=/usr/bin/|=$w/root/usr/bin/|" "$unit" > "$w/check/boardstat_exporter.service"
if ! out=$(cd "$w/check" && MANPATH="$w/root/usr/share/man" timeout 60 systemd-analyze verify boardstat_exporter.service 2>&1) ||
   [ -n "$out" ]; then
  echo "FAIL: systemd-analyze verify:"
  echo "$out"
  exit 1
fi
echo "exporter unit: verified"
