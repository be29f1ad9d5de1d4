#!/usr/bin/env bash
# A console with SystemProbe expanded on VFG 0, redrawing every second (-d 1), beside the
# exporter probing every figure every second on one shared simulated board, and at the same
# time a lone console on a board of its own. Prints, for every SystemProbe line, each value
# each console showed and how often, and the exporter's rounds given up to the console; exits
# 1 when the console beside the exporter showed a value the lone console never did.
#
#   bash bench/sharing_soak.sh [SECONDS]     # 600 by default; BUILD_DIR=build by default
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
seconds=${1:-600}
build=${BUILD_DIR:-build}
console=$build/boardstat exporter=$build/exporter/boardstat_exporter
[ -x "$console" ] && [ -x "$exporter" ] || { echo "build boardstat and the exporter first" >&2; exit 1; }

# shellcheck source=tests/lib.sh
source tests/lib.sh && servers_set_up
share=boardstat-soak-$$
trap 'cleanup; rm -f /dev/shm/boardsim-$share' EXIT
mkdir "$tmp/shared-locks" "$tmp/lone-locks"
BOARDSIM_SHARE=$share BOARDSTAT_LOCK_DIR=$tmp/shared-locks start exporter /metrics "$exporter" \
  --web.listen-address=127.0.0.1:@PORT@ --collect.probe=all --collect.probe-interval=1s
(printf o; sleep "$seconds"; printf q) |
  BOARDSIM_SHARE=$share BOARDSTAT_LOCK_DIR=$tmp/shared-locks "$console" -d 1 > "$tmp/beside" &
beside=$!
(printf o; sleep "$seconds"; printf q) | BOARDSTAT_LOCK_DIR=$tmp/lone-locks "$console" -d 1 > "$tmp/lone" &
wait "$beside" $!
metrics=$(curl -sf "http://127.0.0.1:$port/metrics")

python3 - "$tmp/lone" "$tmp/beside" <<'EOF'
import collections, sys
def figures(path):
    seen = collections.defaultdict(collections.Counter)
    for line in open(path, 'rb').read().decode(errors='replace').splitlines():
        if ' : ' in line:
            label, value = line.split(' : ', 1)
            seen[label.strip()][value.split()[0] if value.strip() else ''] += 1
    return seen
lone, beside = figures(sys.argv[1]), figures(sys.argv[2])
print('redraws: lone %d, beside the exporter %d' % (lone['Frame Rate'].total(), beside['Frame Rate'].total()))
print('| Figure | lone console | beside the exporter |\n|---|---|---|')
bad = 0
for label in lone:
    show = lambda c: ', '.join('%s (%d)' % kv for kv in sorted(c.items()))
    print('| %s | %s | %s |' % (label, show(lone[label]), show(beside[label])))
    bad += sum(1 for v in beside[label] if v not in lone[label])
print('values beside the exporter that the lone console never showed: %d' % bad)
sys.exit(1 if bad else 0)
EOF
status=$?
grep -E '^boardstat_skipped_probe_rounds_total\{vfg="0"\}' <<< "$metrics"
grep -E '^boardstat_probe_measured_timestamp_seconds\{vfg="0",measurement="boardstat_probe_frame_rate_hertz"\}' <<< "$metrics"
exit $status
