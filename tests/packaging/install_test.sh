#!/usr/bin/env bash
# Installs the build as a packager does (DESTDIR, prefix /usr) and as a user does (--prefix),
# then runs the installed programs from there, away from the build folder (where they never
# fall back to the simulated board: it is asked for by name), and verifies the
# exporter's systemd unit: it names the installed program, takes its flags from the file
# installed beside it, passes `systemd-analyze verify`, and systemd rates its exposure 4.0 or
# better ("OK", `systemd-analyze security --offline`); the exporter runs under the unit's
# restrictions as far as a namespace can put them. Usage: install_test.sh BUILD_DIR
# shellcheck source=tests/packaging/package.sh
source "$(dirname "$0")/package.sh"
build=$(realpath "$1")
cd "$w" || exit 1
install_into "$w/root"
usr=$w/root/usr

for file in bin/boardstat lib/boardstat/libboardsim.so share/man/man1/boardstat.1.gz share/doc/boardstat/default.board \
            share/doc/boardstat/boardsim.md share/doc/boardstat/copyright \
            share/doc/boardstat/changelog.gz; do
  [ -f "$usr/$file" ] || fail "not installed: $file"
done
# Outside the prefix only the exporter's flags file, where Debian keeps such files.
outside=$(cd "$w/root" && find . ! -path ./usr ! -path './usr/*' ! -path ./etc ! -path ./etc/default \
  ! -path ./etc/default/boardstat_exporter ! -path .)
[ -z "$outside" ] || fail "installed outside the prefix: $outside"
for program in "$usr"/bin/*; do
  name=$(basename "$program")
  [ -f "$usr/share/man/man1/$name.1.gz" ] || fail "$name has no man page"
done
# A path into the build tree in an installed text means it only works beside the build.
leaks=$(grep -rlI -F -- "$build" "$w/root" 2>/dev/null)
[ -z "$leaks" ] || fail "installed files name the build folder: $leaks"

# The installed console on the installed example description, the built-in board's three VFGs.
printf q | BOARDSIM_CONFIG="$usr/share/doc/boardstat/default.board" \
  timeout 10 "$usr/bin/boardstat" > example.screen 2> stderr
status=$?
[ "$status" -eq 0 ] && grep -qF 'VFG (000) of (002)' example.screen && [ ! -s stderr ] ||
  fail "the installed boardstat on default.board: status $status, $(cat stderr)"

# The installed exporter: one collection into a textfile folder, and its unit.
mkdir prom
BOARDSTAT_BOARD_LIBRARY=sim timeout 20 "$usr/bin/boardstat_exporter" --once --textfile.directory prom \
  > exporter.out 2>&1 ||
  fail "boardstat_exporter --once: status $?, $(cat exporter.out)"
grep -q '^# TYPE ' prom/boardstat.prom 2>/dev/null || fail "no metrics in prom/boardstat.prom"
unit=$usr/lib/systemd/system/boardstat_exporter.service
grep -qx 'ExecStart=/usr/bin/boardstat_exporter $ARGS' "$unit" || fail "no unit, or ExecStart wrong"
defaults=$(sed -n 's/^EnvironmentFile=-\{0,1\}//p' "$unit")
[ -n "$defaults" ] && grep -q '^ARGS=' "$w/root$defaults" 2>/dev/null ||
  fail "EnvironmentFile '$defaults' is not installed with an ARGS= line"
if command -v systemd-analyze > /dev/null; then
  # verify opens ExecStart and the man page of Documentation=: both the installed copies.
  mkdir check
  sed "s|=/usr/bin/|=$usr/bin/|" "$unit" > check/boardstat_exporter.service
  out=$(cd check && MANPATH="$usr/share/man" timeout 60 systemd-analyze verify \
        boardstat_exporter.service 2>&1) && [ -z "$out" ] || fail "systemd-analyze verify: $out"
  out=$(timeout 60 systemd-analyze security --offline=true --no-pager "$unit" 2>&1)
  exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' <<< "$out")
  [ -n "$exposure" ] && awk -v e="$exposure" 'BEGIN { exit !(e <= 4.0) }' ||
    fail "exposure '$exposure', not 4.0 or better; $(grep '✗' <<< "$out" || echo "$out")"
else
  [ "${CI:-}" != true ] || fail "systemd-analyze is missing"
  echo "systemd-analyze is missing: the unit is not verified"
fi

# The installed exporter under the unit's restrictions, as far as a test can put them without
# systemd: a mount namespace of its own with /proc showing processes only (ProcSubset=pid) and
# the system folders read-only (ProtectSystem=strict), its system calls traced. Served over TLS
# with a password and scraped, it must tell its start as now (not as the time since boot),
# never open /proc/stat, and make only system calls that the unit's SystemCallFilter allows.
syscalls_of() {  # GROUP: its system calls, the groups in it expanded
  local item
  systemd-analyze syscall-filter "$1" | tail -n +2 | sed -n 's/^ *\([@a-z0-9_-]*\)$/\1/p' |
    while read -r item; do
      case $item in @*) syscalls_of "$item" ;; *) echo "$item" ;; esac
    done
}
if [ "$(id -u)" -eq 0 ] && command -v unshare > /dev/null && command -v strace > /dev/null; then
  mkdir unit && cd unit || exit 1
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
    -subj /CN=127.0.0.1 -keyout key.pem -out cert.pem > /dev/null 2>&1 || fail "openssl req"
  printf '%s\n' 'tls_server_config: {cert_file: cert.pem, key_file: key.pem}' \
    "basic_auth_users: {alice: '\$2b\$04\$hS54ELe8Z1AGPGqg42wmBudM4HgFf.xbDsHJsAJpUyxMnK6KMm.Ui'}" \
    > web.yml
  # shellcheck disable=SC2016  # expanded by the shell in the namespace
  unshare -m --propagation private sh -c '
    mount -t proc -o subset=pid proc /proc || exit 1
    for dir in /usr /etc /boot /opt; do
      [ -d "$dir" ] && { mount --bind "$dir" "$dir" && mount -o remount,bind,ro "$dir" || exit 1; }
    done
    exec strace -f -qq -o trace "$@"' sh "$usr/bin/boardstat_exporter" \
    --web.listen-address 127.0.0.1:0 --web.config.file web.yml 2> err &
  tracer=$!
  started=$(date +%s)
  for _ in $(seq 100); do grep -q '(port [0-9]*)' err 2> /dev/null && break; sleep 0.1; done
  port=$(sed -n 's/.*(port \([0-9]*\)).*/\1/p' err)
  for _ in 1 2; do  # the second from the password's memory
    curl -sk -m 10 -u alice:s3cret "https://127.0.0.1:$port/metrics" > metrics ||
      fail "restricted exporter: no scrape on port '$port': $(cat err)"
  done
  kill -TERM "$(pgrep -P "$tracer")" 2> /dev/null || kill -KILL "$tracer"
  wait "$tracer" || fail "restricted exporter: status $?, $(cat err)"
  start=$(sed -n 's/^process_start_time_seconds //p' metrics)
  awk -v s="$start" -v now="$started" 'BEGIN { exit !(s > now - 30 && s < now + 30) }' ||
    fail "restricted exporter: process_start_time_seconds '$start', started at $started"
  ! grep -q '"/proc/stat"' trace || fail "restricted exporter: opened /proc/stat"
  denied=$(comm -23 <(sed -n 's/^[0-9]* *\([a-z0-9_]*\)(.*/\1/p' trace | sort -u) \
    <(comm -23 <(syscalls_of @system-service | sort -u) \
               <({ syscalls_of @privileged; syscalls_of @resources; } | sort -u)))
  [ -z "$denied" ] || fail "restricted exporter: system calls the unit denies: $denied"
  cd "$w" || exit 1
else
  [ "${CI:-}" != true ] || fail "not root, or unshare or strace missing: the unit's restrictions are not tried"
  echo "not root, or unshare or strace missing: the exporter is not tried under the unit's restrictions"
fi

# Another prefix, without DESTDIR: everything under it.
install_into "" "$w/opt"
printf q | BOARDSTAT_BOARD_LIBRARY=sim timeout 10 "$w/opt/bin/boardstat" > /dev/null ||
  fail "--prefix: boardstat does not run"
[ -f "$w/opt/share/man/man1/boardstat.1.gz" ] || fail "--prefix: no man page under the prefix"
grep -q "^ExecStart=$w/opt/bin/boardstat_exporter " "$w/opt/lib/systemd/system/boardstat_exporter.service" ||
  fail "--prefix: the unit does not name $w/opt/bin/boardstat_exporter"
shipped_as_is "$w/opt" "the install under $w/opt"
passed "installed programs: all checks passed, the unit's exposure ${exposure:-not rated}"
