#!/usr/bin/env bash
# The alert rules and the example Alertmanager configuration as shipped: installed into
# share/boardstat/prometheus (DESTDIR, prefix /usr), still passing promtool and amtool there,
# and inside the .deb and the .tar.gz that cpack makes of this build.
# Usage: shipped_test.sh BUILD_DIR
# Exit 77 (skipped) where a program is missing, except under CI=true: there it fails.
set -u
build=$(realpath "$1")
for tool in promtool amtool dpkg-deb; do
  command -v "$tool" > /dev/null && continue
  echo "$tool is missing (apt-get install prometheus prometheus-alertmanager dpkg-dev)" >&2
  [ "${CI:-}" = true ] && exit 1
  exit 77
done
w=$(mktemp -d)
trap 'rm -rf "$w"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
files=(share/boardstat/prometheus/boardstat.rules.yml
       share/boardstat/prometheus/alertmanager.example.yml)

DESTDIR="$w/root" cmake --install "$build" --prefix /usr > "$w/install.log" 2>&1 ||
  { cat "$w/install.log"; echo "FAIL: cmake --install"; exit 1; }
installed=$w/root/usr/share/boardstat/prometheus
promtool check rules "$installed/boardstat.rules.yml" > "$w/promtool.log" 2>&1 ||
  fail "promtool check rules on the installed rules: $(cat "$w/promtool.log")"
amtool check-config "$installed/alertmanager.example.yml" > "$w/amtool.log" 2>&1 ||
  fail "amtool check-config on the installed example: $(cat "$w/amtool.log")"

cpack --config "$build/CPackConfig.cmake" -G "DEB;TGZ" -B "$w/out" > "$w/cpack.log" 2>&1 ||
  { cat "$w/cpack.log"; echo "FAIL: cpack"; exit 1; }
dpkg-deb -c "$w"/out/boardstat_*.deb > "$w/deb" || fail "no .deb"
tar -tzf "$w"/out/boardstat-*.tar.gz > "$w/tgz" || fail "no .tar.gz"
for file in "${files[@]}"; do
  grep -q " \./usr/$file\$" "$w/deb" || fail "not in the .deb: /usr/$file"
  grep -q "^[^/]*/$file\$" "$w/tgz" || fail "not in the .tar.gz: $file"
done

[ "$failures" -eq 0 ] && echo "alert rules and Alertmanager example: installed and packaged"
[ "$failures" -eq 0 ]
