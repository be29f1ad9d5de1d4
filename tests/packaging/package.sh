# shellcheck shell=bash
# Sourced by the package tests: a scratch folder $w removed at the end, fail that counts, give_up
# that ends at once, passed that ends with the count, skips, and the build's install and packages.
set -u
# shellcheck source=tests/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
w=$(mktemp -d)
trap 'rm -rf "$w"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
give_up() { echo "FAIL: $*"; exit 1; }
need() { require "the packages .ci/run names" "$@"; }
passed() { [ "$failures" -eq 0 ] && echo "$*"; [ "$failures" -eq 0 ]; }  # MESSAGE: the status

# make_package GENERATOR GLOB: the build's package, made in $w/out; sets package to the file.
make_package() {
  timeout 100 cpack --config "$build/CPackConfig.cmake" -G "$1" -B "$w/out" > "$w/cpack.log" 2>&1 ||
    { cat "$w/cpack.log"; give_up "cpack -G $1"; }
  # shellcheck disable=SC2206  # GLOB is a pattern
  local made=("$w"/out/$2)
  [ "${#made[@]}" -eq 1 ] && [ -f "${made[0]}" ] || give_up "no single $2: ${made[*]}"
  package=${made[0]}
}
# shipped_as_is PREFIX WHAT: the alert rules, the example Alertmanager configuration and the
# Grafana dashboard under PREFIX (of WHAT) as they are in packaging/.
shipped_as_is() {
  local file
  for file in prometheus/boardstat.rules.yml prometheus/alertmanager.example.yml \
    grafana/boardstat_dashboard.json; do
    cmp -s "$(dirname "${BASH_SOURCE[0]}")/../../packaging/$file" "$1/share/boardstat/$file" ||
      fail "not shipped as it is in $2: share/boardstat/$file"
  done
}
# install_into ROOT [PREFIX]: as a packager installs (DESTDIR=ROOT, prefix /usr), or with PREFIX.
install_into() {
  DESTDIR=$1 cmake --install "$build" --prefix "${2:-/usr}" > "$w/install.log" 2>&1 ||
    { cat "$w/install.log"; give_up "cmake --install --prefix ${2:-/usr}"; }
}
