#!/usr/bin/env bash
# The exporter as a Windows service under wine, set up as the zip's README.txt says: its
# service commands (the lines indented by four spaces that start with sc.exe or net) run in
# order, as written but for the address :10208, which becomes 127.0.0.1 and a free port, in a
# folder holding the exporter and the stand-in vendor DLLs. The service is checked in wine's
# service manager, in its /metrics (promtool reads it, boardstat_up 1) and in
# boardstat_exporter.log beside the program; last, a service with a bad flag stops by itself
# with status 2 and its complaint in that log.
#   service_wine_test.sh WINE EXPORTER.exe README.txt DLL...   (WINEPREFIX names a prefix in use)
# Skipped where curl or promtool is missing (failed under CI=true).
set -u
wine=$1 exporter=$2 readme=$3
# shellcheck source=tests/lib.sh
source "$(dirname "$0")/../lib.sh"
require "curl prometheus" curl promtool
servers_set_up
dir=$tmp/boardstat
mkdir "$dir" && cp "$exporter" "${@:4}" "$dir/" || fail "cannot copy the exporter and DLLs"
ln -s "$dir/boardstat_exporter.log" "$tmp/service.log" # shown by fail
bad=boardstat_exporter_bad
sc() { timeout 60 "$wine" sc.exe "$@" 2>&1 | tr -d '\r'; }
field() { sc query "$1" | sed -n "s/^ *$2 *: *\([0-9]*\).*/\1/p"; } # SERVICE FIELD
stopped_service() { [ "$(field "$1" STATE)" = 1 ]; }
undo() {
  for service in boardstat_exporter "$bad"; do
    [ "$(field "$service" STATE)" = 4 ] && timeout 60 "$wine" net.exe stop "$service" >/dev/null 2>&1
    [ -z "$(field "$service" STATE)" ] || sc delete "$service" >/dev/null
  done
}
trap 'undo; cleanup' EXIT
# net start, again while the manager still starts the prefix's own services ("database
# locked"), for a minute at most.
net_start() { # SERVICE
  local out
  for _ in $(seq 30); do
    out=$(wine_cmd "$dir" "net start $1" 2>&1)
    grep -q "started successfully" <<<"$out" && return 0
    grep -q locked <<<"$out" || break
    sleep 2
  done
  echo "$out" >"$tmp/net.log"
  return 1
}
port=$((20000 + RANDOM % 30000))
metrics() { curl -sf -m 5 -o "$tmp/http.prom" "http://127.0.0.1:$port/metrics"; }

step() {  # COMMAND
  local command=$1 service
  case $command in
    "net start "*)
      net_start "${command#net start }" || fail "$command did not start the service"
      [ "$(field "${command#net start }" STATE)" = 4 ] || fail "$command: the service is not RUNNING"
      within 30 metrics || fail "$command: no /metrics on 127.0.0.1:$port"
      good_exposition "$command" "$tmp/http.prom" ;;
    "net stop "*)
      service=${command#net stop }
      wine_cmd "$dir" "$command" | grep -q "stopped successfully" || fail "$command did not stop the service"
      stopped_service "$service" || fail "$command: the service is not STOPPED"
      [ "$(field "$service" WIN32_EXIT_CODE)" = 0 ] || fail "$command: an error: $(sc query "$service")"
      ! metrics || fail "$command: /metrics still answers"
      grep -q "started as the service $service .*127.0.0.1:$port\$" "$tmp/service.log" ||
        fail "$command: no start-up line with the service's flags in boardstat_exporter.log"
      grep -q "stopped with status 0\$" "$tmp/service.log" ||
        fail "$command: no status 0 in boardstat_exporter.log" ;;
    "sc.exe create "*)
      wine_cmd "$dir" "$command" || fail "$command: status $?"
      stopped_service "$(awk '{print $3}' <<<"$command")" || fail "$command: no service" ;;
    "sc.exe delete "*)
      wine_cmd "$dir" "$command" || fail "$command: status $?"
      [ -z "$(field "${command#sc.exe delete }" STATE)" ] || fail "$command left it" ;;
    *) wine_cmd "$dir" "$command" || fail "$command: status $?" ;;
  esac
}
readme_steps "$readme" 'sc\.exe|net' step "sc.exe create" "net start" "net stop" "sc.exe delete"

# A bad flag: the service ends by itself, its complaint and status in the log.
exe=$("$wine" winepath.exe -w "$dir/boardstat_exporter.exe" | tr -d '\r')
sc create "$bad" binPath= "\"$exe\" --web.listen-adress=127.0.0.1:$port" >/dev/null
net_start "$bad"
within 30 stopped_service "$bad" || fail "the service with a bad flag did not stop"
[ "$(field "$bad" SERVICE_EXIT_CODE)" = 2 ] || fail "a bad flag: $(sc query "$bad")"
grep -q "^boardstat_exporter: unknown flag --web.listen-adress" "$tmp/service.log" ||
  fail "no complaint about the bad flag in boardstat_exporter.log"
grep -q "stopped with status 2\$" "$tmp/service.log" || fail "no status 2 in boardstat_exporter.log"
echo PASS
