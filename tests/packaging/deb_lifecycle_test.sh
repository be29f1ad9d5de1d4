#!/usr/bin/env bash
# The Debian package's life with the exporter's service: installed, disabled and enabled by an
# administrator, upgraded (the same .deb again), removed and purged by dpkg in a scratch root,
# with the enablement links and the conffile checked after each step (the installed programs
# are install_test.sh's and loader_test.sh's to run); then the maintainer
# scripts' calls to systemd, with and without a running systemd, in a mount namespace of their
# own. Usage: deb_lifecycle_test.sh BUILD_DIR
# shellcheck source=tests/packaging/package.sh
source "$(dirname "$0")/package.sh"
build=$(realpath "$1")
need dpkg dpkg-deb deb-systemd-helper systemctl unshare
[ "$(id -u)" -eq 0 ] || skip "dpkg installs into a scratch root as root only"
make_package DEB "boardstat_*.deb"
deb=$package

# --- dpkg in a scratch root. The maintainer scripts run outside it with DPKG_ROOT set, which
# deb-systemd-helper honours; the C and C++ runtimes the package depends on are not there.
root=$w/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/log"
touch "$root/var/lib/dpkg/status"
run_dpkg() {
  timeout 60 dpkg --root="$root" --force-script-chrootless --force-depends "$@" > "$w/dpkg.log" 2>&1 ||
    fail "dpkg $*: $(cat "$w/dpkg.log")"
}
unit=boardstat_exporter.service
wants=$root/etc/systemd/system/multi-user.target.wants/$unit
mask=$root/etc/systemd/system/$unit
defaults=$root/etc/default/boardstat_exporter
state=$root/var/lib/systemd/deb-systemd-helper-enabled
# expect STEP PROGRAM ENABLED MASKED ARGS: what is there after STEP (yes/no; the ARGS line of
# the conffile, or "none" for no conffile).
yes_no() { "$@" && echo yes || echo no; }
expect() {
  local args=none got
  [ -e "$defaults" ] && args=$(grep '^ARGS=' "$defaults")
  got="$(yes_no test -x "$root/usr/bin/boardstat_exporter") $(yes_no test -L "$wants")"
  got+=" $(yes_no test "$(readlink "$mask")" = /dev/null) $args"
  [ "$got" = "${*:2}" ] || fail "$1: program, enabled, masked, ARGS are '$got', not '${*:2}'"
}

run_dpkg -i "$deb"
expect install yes yes no 'ARGS=""'
[ "$(readlink "$wants")" = /usr/lib/systemd/system/$unit ] ||
  fail "the enablement link points at '$(readlink "$wants")'"
[ -e "$state/$unit.dsh-also" ] || fail "install: deb-systemd-helper keeps no record of the links"

# An administrator's disable and changed flags outlive an upgrade; so does a later enable.
timeout 20 systemctl --root="$root" --quiet disable "$unit" 2> "$w/systemctl.log" ||
  fail "systemctl disable: $(cat "$w/systemctl.log")"
sed -i 's/^ARGS=.*/ARGS="--collect.probe all"/' "$defaults"
run_dpkg -i "$deb"
expect "upgrade, disabled" yes no no 'ARGS="--collect.probe all"'
timeout 20 systemctl --root="$root" --quiet enable "$unit" 2> "$w/systemctl.log" ||
  fail "systemctl enable: $(cat "$w/systemctl.log")"
run_dpkg -i "$deb"
expect "upgrade, enabled" yes yes no 'ARGS="--collect.probe all"'

# A removal keeps the conffile and the enablement (for a reinstall) and masks the unit; a
# reinstall unmasks it; a purge leaves nothing of the service.
run_dpkg -r boardstat
expect remove no yes yes 'ARGS="--collect.probe all"'
run_dpkg -i "$deb"
expect "install after remove" yes yes no 'ARGS="--collect.probe all"'
run_dpkg -P boardstat
expect purge no no no none
left=$(find "$root/etc" "$root/var/lib/systemd" -mindepth 1 ! -type d 2>/dev/null)
[ -z "$left" ] || fail "purge leaves: $left"

# --- The maintainer scripts' calls, with stand-ins for deb-systemd-helper, deb-systemd-invoke
# and systemctl that log them. In a mount namespace with its own /run, systemd is "running"
# when /run/systemd/system is a folder.
mkdir "$w/control" "$w/bin"
dpkg-deb -e "$deb" "$w/control"
for tool in deb-systemd-helper deb-systemd-invoke systemctl; do
  cat > "$w/bin/$tool" << EOF
#!/bin/sh
echo "$tool \$*" >> "$w/calls"
[ "\$*" != "--quiet was-enabled $unit" ] || exit "\$WAS_ENABLED_STATUS"
EOF
  chmod +x "$w/bin/$tool"
done
while IFS=$'\x1f' read -r script running was_enabled calls; do
  rm -f "$w/calls"
  [ "$calls" = - ] && calls=
  # shellcheck disable=SC2086  # the arguments are words
  timeout 20 unshare --mount sh -c '
    mount -t tmpfs tmpfs /run && { [ "$1" = no ] || mkdir -p /run/systemd/system; } &&
      shift && exec "$@"' sh "$running" \
    env -u DPKG_ROOT PATH="$w/bin:$PATH" WAS_ENABLED_STATUS="$was_enabled" \
    "$w/control/"$script > "$w/script.log" 2>&1 ||
    fail "$script (systemd running: $running): status $?, $(cat "$w/script.log")"
  got=$(paste -sd ';' "$w/calls" 2>/dev/null)
  [ "$got" = "$calls" ] ||
    fail "$script (systemd running: $running, was-enabled $was_enabled):
  calls: $got
  want:  $calls"
done < <(read_table "$(dirname "$0")/maintainer_calls.txt")

passed "$(basename "$deb"): install, upgrade, remove and purge as expected"
