# shellcheck shell=bash
# Sourced by tests that start servers on 127.0.0.1: a scratch folder ($tmp) removed at the end,
# every server started (pids) stopped at the end, bounded waits, and start with random ports.

tmp=$(mktemp -d)
pids=()
# A child that ended stays a zombie until waited for, and kill -0 still finds it.
alive() { [ -r "/proc/$1/stat" ] && ! grep -q '^[0-9]* (.*) Z' "/proc/$1/stat" 2>/dev/null; }
within() {  # SECONDS COMMAND...: true as soon as COMMAND succeeds, false after SECONDS
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}
stopped() { ! alive "$1"; }
stop() {  # PID: SIGTERM, then SIGKILL after 5 s
  kill -TERM "$1" 2>/dev/null && within 5 stopped "$1"
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}
cleanup() {
  for pid in "${pids[@]}"; do stop "$pid"; done
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
fail() {
  echo "FAIL: $*" >&2
  tail -n 20 "$tmp"/*.log >&2
  exit 1
}

# start NAME URL_PATH COMMAND... (@PORT@ in COMMAND is replaced): a random port, tried again
# when the server dies (port in use) or does not answer in 20 s, three times; sets port. The
# server's output goes to $tmp/NAME.log.
answers() { alive "$1" && curl -sf -m 2 -o /dev/null "$2"; }
up_or_dead() { answers "$@" || ! alive "$1"; }
start() {
  local name=$1 path=$2
  shift 2
  for _ in 1 2 3; do
    port=$((20000 + RANDOM % 30000))
    "${@//@PORT@/$port}" > "$tmp/$name.log" 2>&1 &
    pids+=($!)
    within 20 up_or_dead $! "http://127.0.0.1:$port$path" && answers $! "http://127.0.0.1:$port$path" &&
      return 0
    stop $!
  done
  fail "$name did not start"
}
