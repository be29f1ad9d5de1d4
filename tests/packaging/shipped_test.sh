#!/usr/bin/env bash
# The alert rules, the example Alertmanager configuration and the Grafana dashboard as shipped:
# installed as they are into share/boardstat/prometheus and .../grafana under the prefix (one
# away from /usr, so that a destination outside the prefix shows), and inside the .deb and the
# .tar.gz that cpack makes of this build.
# Usage: shipped_test.sh BUILD_DIR SOURCE_DIR
# shellcheck source=tests/packaging/package.sh
source "$(dirname "$0")/package.sh"
build=$(realpath "$1")
need dpkg-deb
install_into "" "$w/opt"
make_package DEB "boardstat_*.deb"
dpkg-deb -x "$package" "$w/deb"
make_package TGZ "boardstat-*.tar.gz"
mkdir "$w/tgz" && tar -xzf "$package" -C "$w/tgz" --strip-components=1 || give_up "tar cannot unpack"
for root in opt deb/usr tgz; do
  for file in prometheus/boardstat.rules.yml prometheus/alertmanager.example.yml \
    grafana/boardstat_dashboard.json; do
    cmp -s "$2/packaging/$file" "$w/$root/share/boardstat/$file" ||
      fail "not shipped as it is in $root: share/boardstat/$file"
  done
done
passed "alert rules, Alertmanager example and dashboard: installed and packaged as they are"
