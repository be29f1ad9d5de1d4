#!/usr/bin/env bash
# Builds the Debian package of this build with cpack and checks it as a user of it would:
# control fields, the file list with owners and modes, the programs run from the package, and
# lintian without an error or a warning. Usage: deb_test.sh BUILD_DIR CHANGELOG
set -u
build=$(realpath "$1")
changelog=$2
for tool in dpkg-deb lintian file; do
  command -v "$tool" > /dev/null ||
    { echo "SKIP: $tool is missing (apt-get install dpkg-dev lintian file)"; exit 77; }
done
w=$(mktemp -d)
trap 'rm -rf "$w"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$w/out" > "$w/cpack.log" 2>&1 ||
  { cat "$w/cpack.log"; echo "FAIL: cpack -G DEB"; exit 1; }
debs=("$w"/out/boardstat_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: no single .deb: ${debs[*]}"; exit 1; }
deb=${debs[0]}
field() { dpkg-deb -f "$deb" "$1"; }

# Control fields. The version is the changelog's latest, which lintian compares too.
[ "$(field Package)" = boardstat ] || fail "Package: $(field Package)"
latest=$(sed -n '1s/^boardstat (\([^)]*\)).*/\1/p' "$changelog")
[ "$(field Version)" = "$latest" ] || fail "Version $(field Version), changelog $latest"
[[ $(field Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[ -n "$(field Description)" ] || fail "no Description"

# The files, their owners and modes: programs 755, everything else 644, all root's, all under
# usr/, and each program with its man page.
dpkg-deb -c "$deb" > "$w/contents"
awk '{print $6}' "$w/contents" | sed 's|^\./||; s|/$||' > "$w/files"
for file in usr/bin/boardstat usr/share/man/man1/boardstat.1.gz usr/share/doc/boardstat/copyright \
            usr/share/doc/boardstat/changelog.gz usr/share/doc/boardstat/default.board; do
  grep -qx "$file" "$w/files" || fail "not in the package: $file"
done
outside=$(grep -v '^usr\(/\|$\)' "$w/files")
[ -z "$outside" ] || fail "outside usr/: $outside"
while read -r mode owner _ _ _ path; do
  case $mode:${path#./} in
    d*) want=drwxr-xr-x ;;
    -*:usr/bin/*) want=-rwxr-xr-x ;;
    *) want=-rw-r--r-- ;;
  esac
  [ "$mode" = "$want" ] || fail "$path: mode $mode, not $want"
  [ "$owner" = root/root ] || fail "$path: owner $owner"
done < "$w/contents"
for program in $(grep '^usr/bin/.' "$w/files"); do
  name=${program#usr/bin/}
  grep -qx "usr/share/man/man1/$name.1.gz" "$w/files" || fail "$name without a man page"
done
if grep -qx usr/bin/boardstat_exporter "$w/files"; then
  grep -qx usr/lib/systemd/system/boardstat_exporter.service "$w/files" ||
    fail "the exporter without its systemd unit"
fi

# The packaged programs: stripped, dependencies from dpkg-shlibdeps where dynamically linked.
dpkg-deb -x "$deb" "$w/root"
printf q | timeout 10 "$w/root/usr/bin/boardstat" > "$w/screen"
status=$?
[ "$status" -eq 0 ] && grep -qF 'VFG (000)' "$w/screen" ||
  fail "the packaged boardstat: status $status, no banner"
for program in "$w"/root/usr/bin/*; do
  kind=$(file -b "$program")
  [[ $kind == *"not stripped"* ]] && fail "$(basename "$program") is not stripped"
  if [[ $kind == *"dynamically linked"* && $(field Depends) != *libc6* ]]; then
    fail "$(basename "$program") is dynamically linked, Depends is '$(field Depends)'"
  fi
done

# lintian: no error and no warning (information notes are listed, not failed).
lintian --fail-on error,warning "$deb" > "$w/lintian" 2>&1 || fail "lintian: $(cat "$w/lintian")"
grep -v '^running with root privileges' "$w/lintian"

[ "$failures" -eq 0 ] && echo "$(basename "$deb"): all checks passed"
[ "$failures" -eq 0 ]
