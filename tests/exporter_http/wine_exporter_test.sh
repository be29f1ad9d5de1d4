#!/usr/bin/env bash
# The Windows exporter's three outputs under wine, as promtool reads them: /metrics served on
# 127.0.0.1, --once on standard output and the textfile, each byte for byte (an LF line end
# written as CR LF is a fault: promtool then reads a type "gauge\r"). Ctrl-C (SIGINT, which
# wine delivers as a console control event) ends the textfile mode with status 0.
#   wine_exporter_test.sh WINE BOARDSTAT_EXPORTER_EXE
# Exit 77 (skipped) where curl or promtool is missing, except under CI=true: there it fails.
set -u
wine=$1 exe=$2
for tool in curl promtool; do
  command -v "$tool" >/dev/null && continue
  echo "SKIPPED: $tool is missing (apt-get install curl prometheus)"
  [ "${CI:-}" = true ] && exit 1
  exit 77
done
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
within() { # SECONDS COMMAND...: true as soon as COMMAND succeeds, false after SECONDS
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.3
  done
}
check() { # NAME FILE: an exposition that promtool takes, with LF line ends only
  [ -s "$2" ] || { fail "$1: empty" && return; }
  grep -q $'\r' "$2" && fail "$1: carriage returns"
  promtool check metrics <"$2" || fail "$1: promtool rejects it"
  grep -qx "boardstat_up 1" "$2" || fail "$1: no line boardstat_up 1"
}
ended() { ! kill -0 "$pid" 2>/dev/null; }
stop() { # NAME: SIGINT, then status 0 within 20 s
  kill -INT "$pid"
  if within 20 ended; then
    wait "$pid"
    local status=$?
    [ "$status" -eq 0 ] || fail "$1: status $status after Ctrl-C"
  else
    fail "$1: still running 20 s after Ctrl-C"
  fi
  pid=
}

timeout 120 "$wine" "$exe" --once >"$work/once.prom" || fail "--once: status $?"
check "--once" "$work/once.prom"

# A free port: the exporter says when it cannot listen and ends; then another is tried.
served() { curl -sf -m 5 -o "$work/http.prom" "http://127.0.0.1:$port/metrics"; }
up_or_ended() { served || ended; }
for _ in 1 2 3; do
  port=$((20000 + RANDOM % 30000))
  "$wine" "$exe" --web.listen-address=127.0.0.1:$port 2>"$work/http.log" &
  pid=$!
  within 60 up_or_ended && served && break
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  pid=
done
if [ -n "$pid" ]; then
  check "/metrics" "$work/http.prom"
  stop "HTTP"
else
  fail "no /metrics on 127.0.0.1 after three ports: $(cat "$work/http.log")"
fi

mkdir "$work/textfile"
"$wine" "$exe" --textfile.directory "$(
  "$wine" winepath.exe -w "$work/textfile" | tr -d '\r'
)" --collect.interval=10ms &
pid=$!
within 60 test -s "$work/textfile/boardstat.prom" || fail "textfile: not written in 60 s"
check "textfile" "$work/textfile/boardstat.prom"
stop "textfile"

[ "$failures" -eq 0 ] && echo PASS
exit $((failures > 0))
