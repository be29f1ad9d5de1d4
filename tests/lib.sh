# shellcheck shell=bash
# Sourced by the test scripts and the benchmarks. Sourcing only defines functions: a script
# that needs a scratch folder and servers calls servers_set_up.
#
# The one rule for a test that cannot run here: it is skipped (exit 77, which ctest reports as
# skipped), except under CI=true, where every test must run: there a skip fails.

skip() {  # REASON
  echo "SKIPPED: $*" >&2
  if [ "${CI:-}" = true ]; then
    echo "FAIL: nothing may be skipped under CI=true" >&2
    exit 1
  fi
  exit 77
}

require() {  # "PACKAGES" TOOL...: skip where a TOOL is missing, naming the Debian PACKAGES
  local packages=$1 tool
  for tool in "${@:2}"; do
    command -v "$tool" > /dev/null || skip "$tool is missing (apt-get install $packages)"
  done
}

# read_table FILE: a table's rows, one a line, for
#   while IFS=$'\x1f' read -r FIELD...; do ...; done < <(read_table FILE)
# Its fields are split at " | " (so that a field may hold a bare |) with the blanks that align
# them trimmed; lines that are blank or start with # are left out.
read_table() {
  sed -e '/^[[:space:]]*\(#\|$\)/d' -e 's/ | /\x1f/g' -e 's/ *\x1f */\x1f/g' \
    -e 's/^ *//' -e 's/ *$//' "$1"
}

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
stop() {  # PID: SIGTERM, then SIGKILL after 5 s (also under set -e, for the benchmarks)
  kill -TERM "$1" 2>/dev/null && within 5 stopped "$1"
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# For tests that start servers on 127.0.0.1: a scratch folder ($tmp) removed at the end, every
# server started (pids) stopped at the end, and fail, which shows the servers' logs.
servers_set_up() {
  tmp=$(mktemp -d)
  pids=()
  trap cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
}
cleanup() {
  for pid in "${pids[@]}"; do stop "$pid"; done
  rm -rf "$tmp"
}
fail() {
  echo "FAIL: $*" >&2
  tail -n 20 "$tmp"/*.log >&2
  exit 1
}

# start NAME URL COMMAND...: a random port for @PORT@ in COMMAND and URL (a URL that is only a
# path is taken on http://127.0.0.1:@PORT@), tried again when the server dies (port in use) or
# does not answer in $start_seconds (20 unless set), three times; sets port. The server's
# output goes to $tmp/NAME.log; curl_options (none unless set) go with every look at it.
start_seconds=20
curl_options=()
answers() { alive "$1" && curl -sf -m 2 "${curl_options[@]}" -o /dev/null "$2"; }
up_or_dead() { answers "$@" || ! alive "$1"; }
start() {
  local name=$1 url=$2
  shift 2
  [ "${url:0:1}" = / ] && url="http://127.0.0.1:@PORT@$url"
  for _ in 1 2 3; do
    port=$((20000 + RANDOM % 30000))
    "${@//@PORT@/$port}" > "$tmp/$name.log" 2>&1 &
    pids+=($!)
    within "$start_seconds" up_or_dead $! "${url//@PORT@/$port}" &&
      answers $! "${url//@PORT@/$port}" && return 0
    stop $!
  done
  fail "$name did not start"
}

# start_prometheus TARGETS [JOB_FIELDS [TOP...]]: a real Prometheus ($PROMETHEUS, else
# prometheus) that scrapes TARGETS (host:port, blank-separated) as job boardstat and evaluates
# every second, with JOB_FIELDS (", key: value" in flow form) in the job and the top-level YAML
# lines TOP beside it; sets port, and api to its query URL. Several run side by side when each
# has its own prometheus_name (its files and log).
start_prometheus() {
  local targets
  # shellcheck disable=SC2086  # the targets are split at blanks
  targets=$(printf "'%s', " $1)
  {
    echo "global: {scrape_interval: 1s, scrape_timeout: 1s, evaluation_interval: 1s}"
    printf '%s\n' "${@:3}"
    echo "scrape_configs: [{job_name: boardstat${2:-}, static_configs: [{targets: [${targets%, }]}]}]"
  } > "$tmp/${prometheus_name:=prometheus}.yml"
  start "$prometheus_name" /-/ready "${PROMETHEUS:-prometheus}" \
    --config.file="$tmp/$prometheus_name.yml" --storage.tsdb.path="$tmp/$prometheus_name-data" \
    --web.listen-address=127.0.0.1:@PORT@ --log.level=warn
  # shellcheck disable=SC2034  # read by the test that sources this
  api="http://127.0.0.1:$port/api/v1/query"
}

# good_exposition NAME FILE: FILE is a whole exposition with LF line ends, which promtool takes,
# saying boardstat_up 1; otherwise fail, naming NAME.
good_exposition() {
  [ -s "$2" ] || fail "$1: no exposition"
  ! grep -q $'\r' "$2" || fail "$1: carriage returns"
  promtool check metrics < "$2" > "$tmp/promtool" 2>&1 || fail "$1: promtool: $(cat "$tmp/promtool")"
  grep -qx "boardstat_up 1" "$2" || fail "$1: no line boardstat_up 1"
}

# wine_cmd DIR COMMAND: COMMAND run by wine's cmd.exe in DIR, from a batch file (CRLF), as a
# user types it; wine is $wine.
wine_cmd() {
  printf '@echo off\r\n%s\r\n' "$2" > "$tmp/step.cmd"
  (cd "$1" && timeout 120 "${wine:?}" cmd.exe /c "$("$wine" winepath.exe -w "$tmp/step.cmd" | tr -d '\r')")
}

# readme_steps README PATTERN STEP KIND...: the commands that README.txt gives (its lines
# indented by four spaces that start with PATTERN), in order, each given to the function STEP
# with the address :10208 made 127.0.0.1:$port; then a failure unless a command held each KIND.
readme_steps() {
  local line command ran="" kind
  while IFS= read -r line; do
    command=${line//:10208/127.0.0.1:$port}
    echo "> $command"
    ran+="$command"$'\n'
    "$3" "$command"
  done < <(tr -d '\r' < "$1" | grep -E "^    ($2)( |\$)" | sed 's/^    //')
  for kind in "${@:4}"; do
    grep -qF -- "$kind" <<< "$ran" || fail "README.txt gives no command with $kind"
  done
}
