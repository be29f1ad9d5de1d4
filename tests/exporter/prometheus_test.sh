#!/usr/bin/env bash
# End to end: a real Prometheus server scrapes boardstat_exporter (built-in board) every second
# on 127.0.0.1, asking for gzip as it always does; its query API must see VFG 0's frames at 30
# a second and boardstat_up at 1.
# Usage: prometheus_test.sh [WINE] EXPORTER
# The Linux exporter is scraped over TLS with a password (a certificate made here). On the way
# the whole exposition, the exporter's own metrics included, passes promtool check metrics;
# and --web.disable-exporter-metrics leaves the exporter's own metrics out. (Wrong passwords
# and plain HTTP clients on the TLS port: http_server_tests; the end on a signal:
# exporter_starts_and_stops.)
# With WINE the Windows exporter (plain HTTP: that build has no TLS) runs under it.
# Exit 77 (skipped) where prometheus, promtool, curl or openssl is missing, except under
# CI=true: there it fails.
set -uo pipefail
exporter=("$@")
# shellcheck source=tests/lib.sh
source "$(dirname "$0")/../lib.sh" && servers_set_up
require "prometheus curl openssl" "${PROMETHEUS:-prometheus}" promtool curl openssl
tls=yes scrape_security=
if [ $# -gt 1 ]; then
  tls= start_seconds=60 # wine starts slowly on a busy machine
fi

if [ -n "$tls" ]; then
  # The certificate names 127.0.0.1, as the scrape's target; the password is "s3cret" (bcrypt).
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
    -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
    -keyout "$tmp/key.pem" -out "$tmp/cert.pem" > "$tmp/openssl.log" 2>&1 ||
    fail "openssl cannot make a certificate"
  cat > "$tmp/web.yml" <<'YML'
tls_server_config: {cert_file: cert.pem, key_file: key.pem}
basic_auth_users: {prometheus: $2b$04$hS54ELe8Z1AGPGqg42wmBudM4HgFf.xbDsHJsAJpUyxMnK6KMm.Ui}
YML
  curl_options=(--cacert "$tmp/cert.pem" -u "prometheus:s3cret")
  start exporter "https://127.0.0.1:@PORT@/metrics" "${exporter[@]}" \
    --web.listen-address=127.0.0.1:@PORT@ --web.config.file="$tmp/web.yml"
  curl -sf -m 5 --compressed "${curl_options[@]}" -o "$tmp/exposition" \
    "https://127.0.0.1:$port/metrics" || fail "no exposition over TLS"
  complaints=$(promtool check metrics < "$tmp/exposition" 2>&1) && [ -z "$complaints" ] ||
    fail "promtool check metrics: $complaints"
  for family in boardstat_exporter_build_info process_resident_memory_bytes \
    boardstat_exporter_http_requests_total; do
    grep -q "^$family" "$tmp/exposition" || fail "no $family in the exposition"
  done
  curl_options=()
  scrape_security=", scheme: https, tls_config: {ca_file: '$tmp/cert.pem'},
    basic_auth: {username: prometheus, password: s3cret}"
else
  start exporter /metrics "${exporter[@]}" --web.listen-address=127.0.0.1:@PORT@
fi

start_seconds=20
start_prometheus "127.0.0.1:$port" "$scrape_security"

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

if [ -n "$tls" ]; then
  # --web.disable-exporter-metrics: the boards' metrics only.
  start bare /metrics "${exporter[@]}" --web.listen-address=127.0.0.1:@PORT@ \
    --web.disable-exporter-metrics
  curl -sf -m 5 -o "$tmp/bare" "http://127.0.0.1:$port/metrics" || fail "no exposition without TLS"
  grep -q '^boardstat_up 1' "$tmp/bare" || fail "no boardstat_up 1 with --web.disable-exporter-metrics"
  if grep -E '^(process_|boardstat_exporter_)' "$tmp/bare"; then
    fail "the exporter's own metrics are there with --web.disable-exporter-metrics"
  fi
fi
