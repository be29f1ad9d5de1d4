#!/usr/bin/env bash
# The alert rules and the example Alertmanager configuration as shipped: installed as they are
# into share/boardstat/prometheus under the prefix (one away from /usr, so that a destination
# outside the prefix shows). The .deb and the .tar.gz carry what the install does: cpack packs
# the same install, with no component left out (tests/package builds both).
# Usage: shipped_test.sh BUILD_DIR SOURCE_DIR
# shellcheck source=tests/package/package.sh
source "$(dirname "$0")/../package/package.sh"
build=$(realpath "$1")
install_into "" "$w/opt"
for file in boardstat.rules.yml alertmanager.example.yml; do
  cmp -s "$2/packaging/prometheus/$file" "$w/opt/share/boardstat/prometheus/$file" ||
    fail "not installed as it is: share/boardstat/prometheus/$file"
done
passed "alert rules and Alertmanager example: installed under the prefix"
