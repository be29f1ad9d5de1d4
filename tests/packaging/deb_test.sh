#!/usr/bin/env bash
# Builds the Debian package of this build with cpack and checks what the install rules do not
# decide: control fields, owners and modes, stripped programs, the alert rules and dashboard as
# they are, lintian without an error or a warning. Usage: deb_test.sh BUILD_DIR CHANGELOG
# shellcheck source=tests/packaging/package.sh
source "$(dirname "$0")/package.sh"
build=$(realpath "$1") changelog=$2
need dpkg-deb lintian file
make_package DEB "boardstat_*.deb"
field() { dpkg-deb -f "$package" "$1"; }

# The version is the changelog's latest; lintian checks the other fields.
latest=$(sed -n '1s/^boardstat (\([^)]*\)).*/\1/p' "$changelog")
[ "$(field Version)" = "$latest" ] || fail "Version $(field Version), changelog $latest"

# Owners and modes (programs 755, everything else 644, all root's), all under usr/ but the
# exporter's flags file, which must be a conffile, and the packaged programs and the simulated
# board's library stripped, with dependencies where dynamically linked. What is installed is
# install_test.sh's to check.
while read -r mode owner _ _ _ path; do
  case $mode:${path#./} in
    d*) want=drwxr-xr-x ;;
    -*:usr/bin/*) want=-rwxr-xr-x ;;
    *) want=-rw-r--r-- ;;
  esac
  [ "$mode" = "$want" ] && [ "$owner" = root/root ] || fail "$path: $mode $owner, not $want root/root"
  [[ ${path#./} =~ ^(usr/|etc/$|etc/default/$|etc/default/boardstat_exporter$) || $path == ./ ]] ||
    fail "outside usr/: $path"
done < <(dpkg-deb -c "$package")
dpkg-deb -x "$package" "$w/root"
shipped_as_is "$w/root/usr" "the .deb"
dpkg-deb --ctrl-tarfile "$package" | tar -xO ./conffiles > "$w/conffiles" 2> /dev/null
for file in "$w"/root/etc/default/*; do
  [ -e "$file" ] || continue
  grep -qx "${file#"$w/root"}" "$w/conffiles" || fail "${file#"$w/root"} is not a conffile"
done
for program in "$w"/root/usr/bin/* "$w"/root/usr/lib/boardstat/*.so; do
  kind=$(file -b "$program")
  [[ $kind == *"not stripped"* ]] && fail "$(basename "$program") is not stripped"
  if [[ $kind == *"dynamically linked"* && $(field Depends) != *libc6* ]]; then
    fail "$(basename "$program") is dynamically linked, Depends is '$(field Depends)'"
  fi
done

# lintian: no error and no warning (information notes are listed, not failed).
lintian --fail-on error,warning "$package" > "$w/lintian" 2>&1 || fail "lintian: $(cat "$w/lintian")"
grep -v '^running with root privileges' "$w/lintian"
passed "$(basename "$package"): all checks passed"
