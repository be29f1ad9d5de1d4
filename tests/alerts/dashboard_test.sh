#!/usr/bin/env bash
# The shipped Grafana dashboard: its JSON parses and has what Grafana's import needs (title,
# uid, schemaVersion, panels with ids, positions and queries, the job, instance and VFG
# variables); then every query, its variables replaced as Grafana replaces them with All
# selected (a multi-value variable by its allValue, a constant by its text) and
# $__rate_interval by its least, four scrape intervals, must return series from a real
# Prometheus scraping the exporter on the built-in board (VFG 0 named) every 15 s, and from
# another scraping every minute. A rate needs two scrapes: the second server's comes up to two
# minutes after its start, so the test waits at most 150 s for each query.
# Usage: dashboard_test.sh EXPORTER DASHBOARD
# Exit 77 (skipped) where a program is missing, except under CI=true: there it fails.
set -uo pipefail
exporter=$1
dashboard=$(realpath "$2")
for tool in prometheus python3 curl; do
  command -v "$tool" > /dev/null && continue
  echo "$tool is missing (apt-get install prometheus python3 curl)" >&2
  [ "${CI:-}" = true ] && exit 1
  exit 77
done
# shellcheck source=tests/servers.sh
source "$(dirname "$(realpath "$0")")/../servers.sh"

# Prints each query with its variables replaced, one a line: the panels' own, and each query
# variable's label_values(SERIES, LABEL) as count by (LABEL) (SERIES).
queries() {  # SCRAPE_SECONDS
  python3 - "$dashboard" "$1" <<'PY' || fail "the dashboard is not one Grafana imports"
import json, re, sys
board = json.load(open(sys.argv[1]))
rate_interval = f"{4 * int(sys.argv[2])}s"
for field in ("title", "uid", "schemaVersion", "panels", "templating"):
    assert field in board, f"no {field}"
variables = {v["name"]: v for v in board["templating"]["list"]}
assert {"job", "instance", "vfg"} <= variables.keys(), "a variable is missing"
def replaced(text):
    text = text.replace("$__rate_interval", rate_interval)
    for name, v in variables.items():
        value = v["query"] if v["type"] == "constant" else v.get("allValue") or "boardstat"
        text = text.replace("$" + name, value)
    assert "$" not in text, f"a variable is left in {text}"
    return text
for v in variables.values():
    if v["type"] == "query":
        series, label = re.fullmatch(r"label_values\((.+), (\w+)\)", v["query"]["query"]).groups()
        print(replaced(f"count by ({label}) ({series})"))
ids = set()
for panel in board["panels"]:
    assert {"id", "type", "title", "gridPos"} <= panel.keys(), f"panel {panel}"
    assert panel["id"] not in ids, f"panel id {panel['id']} twice"
    ids.add(panel["id"])
    for target in panel.get("targets", []):
        assert target["refId"] and target["datasource"]["uid"] == "${datasource}"
        print(replaced(target["expr"]))
PY
}
queries 15 > /dev/null || exit 1

start exporter /metrics "$exporter" --web.listen-address=127.0.0.1:@PORT@ \
  --collect.vfg-name="0=line 3 top"
target=127.0.0.1:$port
declare -A apis
for seconds in 15 60; do
  prometheus_name=prometheus_${seconds}s start_prometheus "$target" ", scrape_interval: ${seconds}s"
  apis[$seconds]=$api
done

answers() {  # API QUERY: true when the query returns at least one series
  curl -sf "$1" --data-urlencode "query=$2" | grep -q '"result":\[{'
}
all_answer() {  # SCRAPE_SECONDS
  local query
  while IFS= read -r query; do
    answers "${apis[$1]}" "$query" || { silent=$query; return 1; }
  done < <(queries "$1")
}
for seconds in 15 60; do
  within 150 all_answer "$seconds" || fail "scraped every $seconds s, no series for: $silent"
  echo "scraped every $seconds s: every query returns series after $SECONDS s"
done
answers "${apis[15]}" 'rate(boardstat_acquired_frames_total[1m]) * on (job, instance, vfg)
  group_left (name) boardstat_vfg_info{name="line 3 top"}' || fail "no name to join"
echo PASS
