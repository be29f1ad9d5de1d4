#!/usr/bin/env bash
# Builds the Debian package of this build with cpack and checks what the install rules do not
# decide: its version, the alert rules and dashboard as they are, lintian without an error or a
# warning. Usage: deb_test.sh BUILD_DIR CHANGELOG
# shellcheck source=tests/packaging/package.sh
source "$(dirname "$0")/package.sh"
build=$(realpath "$1") changelog=$2
need dpkg-deb lintian
make_package DEB "boardstat_*.deb"
field() { dpkg-deb -f "$package" "$1"; }

# The version is the changelog's latest, which lintian cannot know; lintian checks the other
# fields and the files: owners and modes, stripped programs, conffiles, dependencies.
latest=$(sed -n '1s/^boardstat (\([^)]*\)).*/\1/p' "$changelog")
[ "$(field Version)" = "$latest" ] || fail "Version $(field Version), changelog $latest"
dpkg-deb -x "$package" "$w/root"
shipped_as_is "$w/root/usr" "the .deb"

# lintian: no error and no warning (information notes are listed, not failed).
lintian --fail-on error,warning "$package" > "$w/lintian" 2>&1 || fail "lintian: $(cat "$w/lintian")"
grep -v '^running with root privileges' "$w/lintian"
passed "$(basename "$package"): all checks passed"
