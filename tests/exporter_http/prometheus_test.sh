#!/usr/bin/env bash
# End to end: a real Prometheus server scrapes boardstat_exporter (built-in board) every second
# on 127.0.0.1 over TLS with a password (a certificate made here), asking for gzip as it always
# does; its query API must see VFG 0's frames at 30 a second and boardstat_up at 1, and the
# exporter must end with status 0 on SIGTERM. On the way: the whole exposition, the exporter's
# own metrics included, passes promtool check metrics; a wrong password gets 401 and a plain
# HTTP client gets 400 without harm to the others; --web.disable-exporter-metrics leaves the
# exporter's own metrics out. Usage: prometheus_test.sh BOARDSTAT_EXPORTER
# Exit 77 (skipped) where prometheus, promtool, curl or openssl is missing, except under
# CI=true: there it fails.
set -uo pipefail
exporter=$1
prometheus=${PROMETHEUS:-prometheus}
for tool in "$prometheus" promtool curl openssl; do
  command -v "$tool" > /dev/null && continue
  echo "$tool is missing (apt-get install prometheus curl openssl)" >&2
  [ "${CI:-}" = true ] && exit 1
  exit 77
done

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

# start NAME URL COMMAND... (@PORT@ in URL and COMMAND is replaced): a random port, tried again
# when the server dies (port in use) or does not answer in 20 s, three times; sets port. At
# worst the whole test takes about 200 s, under ctest's limit.
auth=(--cacert "$tmp/cert.pem" -u "prometheus:s3cret")
answers() { alive "$1" && curl -sf -m 2 "${auth[@]}" -o /dev/null "$2"; }
up_or_dead() { answers "$@" || ! alive "$1"; }
start() {
  local name=$1 url=$2
  shift 2
  for _ in 1 2 3; do
    port=$((20000 + RANDOM % 30000))
    "${@//@PORT@/$port}" > "$tmp/$name.log" 2>&1 &
    pids+=($!)
    within 20 up_or_dead $! "${url//@PORT@/$port}" && answers $! "${url//@PORT@/$port}" &&
      return 0
    stop $!
  done
  fail "$name did not start"
}

# The certificate names 127.0.0.1, as the scrape's target; the password is "s3cret" (bcrypt).
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
  -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
  -keyout "$tmp/key.pem" -out "$tmp/cert.pem" > "$tmp/openssl.log" 2>&1 ||
  fail "openssl cannot make a certificate"
cat > "$tmp/web.yml" <<'YML'
tls_server_config:
  cert_file: cert.pem
  key_file: key.pem
basic_auth_users:
  prometheus: $2b$04$hS54ELe8Z1AGPGqg42wmBudM4HgFf.xbDsHJsAJpUyxMnK6KMm.Ui
YML
start exporter "https://127.0.0.1:@PORT@/metrics" "$exporter" \
  --web.listen-address=127.0.0.1:@PORT@ --web.config.file="$tmp/web.yml"
exporter_pid=${pids[-1]}
metrics="https://127.0.0.1:$port/metrics"

code=$(curl -s -m 5 --cacert "$tmp/cert.pem" -u prometheus:wrong -o /dev/null -w '%{http_code}' "$metrics")
[ "$code" = 401 ] || fail "a wrong password got $code, not 401"
code=$(curl -s -m 5 -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/metrics")
[ "$code" = 400 ] || fail "plain HTTP on the TLS port got $code, not 400"
curl -sf -m 5 --compressed "${auth[@]}" -o "$tmp/exposition" "$metrics" ||
  fail "the exporter no longer answers after the plain HTTP client"
complaints=$(promtool check metrics < "$tmp/exposition" 2>&1) ||
  fail "promtool check metrics: $complaints"
[ -z "$complaints" ] || fail "promtool check metrics: $complaints"
for family in boardstat_exporter_build_info process_resident_memory_bytes \
  boardstat_exporter_http_requests_total; do
  grep -q "^$family" "$tmp/exposition" || fail "no $family in the exposition"
done

cat > "$tmp/prometheus.yml" <<YML
global: {scrape_interval: 1s, scrape_timeout: 1s, evaluation_interval: 1s}
scrape_configs:
  - job_name: boardstat
    scheme: https
    tls_config: {ca_file: '$tmp/cert.pem'}
    basic_auth: {username: prometheus, password: s3cret}
    static_configs: [{targets: ['127.0.0.1:$port']}]
YML
start prometheus "http://127.0.0.1:@PORT@/-/ready" "$prometheus" --config.file="$tmp/prometheus.yml" \
  --storage.tsdb.path="$tmp/data" --web.listen-address=127.0.0.1:@PORT@ --log.level=warn
api="http://127.0.0.1:$port/api/v1/query"

query() {  # EXPRESSION: the value of the one sample of an instant query, or nothing
  curl -sf -m 2 -G "$api" --data-urlencode "query=$1" |
    sed -n 's/.*"result":\[{"metric":{[^}]*},"value":\[[0-9.]*,"\([^"]*\)"\]}\].*/\1/p'
}
rate_is_30() {
  rate=$(query 'rate(boardstat_acquired_frames_total{vfg="0"}[10s])')
  awk -v v="${rate:-x}" 'BEGIN { exit !(v != "x" && v >= 28.5 && v <= 31.5) }'
}
up_is_1() { up=$(query boardstat_up) && [ "$up" = 1 ]; }
within 60 rate_is_30 || fail "the frame rate of VFG 0 is '${rate:-}', not 30 +- 1.5"
within 10 up_is_1 || fail "boardstat_up is '${up:-}', not 1"
echo "Prometheus sees $rate frames a second on VFG 0 and boardstat_up $up"

kill -TERM "$exporter_pid"
within 10 stopped "$exporter_pid" || fail "the exporter did not stop on SIGTERM"
wait "$exporter_pid"
status=$?
[ "$status" -eq 0 ] || fail "the exporter ended with status $status on SIGTERM"

# --web.disable-exporter-metrics: the boards' metrics only.
start bare "http://127.0.0.1:@PORT@/metrics" "$exporter" --web.listen-address=127.0.0.1:@PORT@ \
  --web.disable-exporter-metrics
curl -sf -m 5 -o "$tmp/bare" "http://127.0.0.1:$port/metrics" || fail "no exposition without TLS"
grep -q '^boardstat_up 1' "$tmp/bare" || fail "no boardstat_up 1 with --web.disable-exporter-metrics"
if grep -E '^(process_|boardstat_exporter_)' "$tmp/bare"; then
  fail "the exporter's own metrics are there with --web.disable-exporter-metrics"
fi
echo PASS
