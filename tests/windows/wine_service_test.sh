#!/usr/bin/env bash
# boardstat_exporter.exe as a service of wine's service manager: installed with sc.exe, started
# with net.exe, scraped on 127.0.0.1 (promtool passes), stopped with net.exe (exit code 0, its
# start-up line and status in the log beside the program), removed with sc.exe; a service with
# a bad command line stops by itself with status 2 and its complaint in the log.
#   wine_service_test.sh WINE BOARDSTAT_EXPORTER_EXE       (WINEPREFIX names a prefix in use)
# Exit 77 (skipped) where curl or promtool is missing, except under CI=true: there it fails.
set -u
wine=$1
for tool in curl promtool; do
  command -v "$tool" >/dev/null && continue
  echo "SKIPPED: $tool is missing (apt-get install curl prometheus)"
  [ "${CI:-}" = true ] && exit 1
  exit 77
done
work=$(mktemp -d) # a copy of the program, so that the log beside it is this test's alone
cp "$2" "$work/"
log=$work/boardstat_exporter.log
name=boardstat_exporter_test_$$
port=$((20000 + RANDOM % 30000))

sc() { timeout 60 "$wine" sc.exe "$@" 2>&1 | tr -d '\r'; }
net() { timeout 60 "$wine" net.exe "$@" 2>&1 | tr -d '\r'; }
field() { sc query "$1" | sed -n "s/^ *$2 *: *\([0-9]*\).*/\1/p"; } # SERVICE FIELD
cleanup() {
  for service in "$name" "${name}_bad"; do
    [ "$(field "$service" STATE)" = 4 ] && net stop "$service" >/dev/null
    sc delete "$service" >/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
fail() {
  echo "FAIL: $*"
  [ -f "$log" ] && sed 's/^/  log: /' "$log"
  exit 1
}
within() { # SECONDS COMMAND...: true as soon as COMMAND succeeds, false after SECONDS
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.5
  done
}
# The manager refuses starts while it still starts the prefix's own services ("database
# locked"): try again, for a minute at most.
start() {
  local out
  for _ in $(seq 30); do
    out=$(net start "$1")
    grep -q "started successfully" <<<"$out" && return 0
    grep -q locked <<<"$out" || break
    sleep 2
  done
  echo "$out"
  return 1
}
stopped() { [ "$(field "$1" STATE)" = 1 ]; }
metrics() { curl -sf -m 5 -o "$work/body" "http://127.0.0.1:$port/metrics"; }

exe=$("$wine" winepath.exe -w "$work/boardstat_exporter.exe" | tr -d '\r')
out=$(sc create "$name" binPath= "\"$exe\" --web.listen-address=127.0.0.1:$port")
[ "$(field "$name" STATE)" = 1 ] || fail "sc.exe create: $out"
start "$name" || fail "net start did not start the service"
[ "$(field "$name" STATE)" = 4 ] || fail "the service is not RUNNING after net start"
within 30 metrics || fail "no /metrics on 127.0.0.1:$port"
promtool check metrics <"$work/body" || fail "promtool rejects the service's /metrics"
grep -qx "boardstat_up 1" "$work/body" || fail "no boardstat_up 1 in /metrics"

out=$(net stop "$name")
grep -q "stopped successfully" <<<"$out" || fail "net stop: $out"
stopped "$name" || fail "the service is not STOPPED after net stop"
[ "$(field "$name" WIN32_EXIT_CODE)" = 0 ] || fail "the service stopped with an error: $(sc query "$name")"
! metrics || fail "/metrics still answers after net stop"
grep -q "started as the service $name --web.listen-address=127.0.0.1:$port\$" "$log" ||
  fail "no start-up line in the log"
grep -q "stopped with status 0\$" "$log" || fail "no status 0 in the log"

out=$(sc delete "$name")
sc query "$name" | grep -q "^SERVICE_NAME" && fail "sc.exe delete left the service: $out"

# A bad flag: the service ends by itself, its complaint and status in the log.
sc create "${name}_bad" binPath= "\"$exe\" --web.listen-adress=127.0.0.1:$port" >/dev/null
start "${name}_bad" >/dev/null
within 30 stopped "${name}_bad" || fail "the service with a bad flag did not stop"
[ "$(field "${name}_bad" SERVICE_EXIT_CODE)" = 2 ] ||
  fail "the service with a bad flag did not report status 2: $(sc query "${name}_bad")"
grep -q "^boardstat_exporter: unknown flag --web.listen-adress" "$log" ||
  fail "no complaint about the bad flag in the log"
grep -q "stopped with status 2\$" "$log" || fail "no status 2 in the log"
echo PASS
