#!/usr/bin/env bash
# Builds the fuzz targets (preset fuzz) and runs each for SECONDS (default 60) on a scratch copy
# of its seeds (tests/AREA/corpus/TARGET). Exits 1 on a finding (kept in build-fuzz/findings/), 77 without libFuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, long) { return 0; }' > "$work/probe.cc"
if ! clang++ -fsanitize=fuzzer,address,undefined "$work/probe.cc" -o "$work/probe" 2>/dev/null; then
  echo "SKIPPED: clang++ with libFuzzer is missing (install: apt-get install clang libclang-rt-14-dev)"
  exit 77
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"${CMAKE_BUILD_PARALLEL_LEVEL:-2}"
findings="$PWD/build-fuzz/findings"
mkdir -p "$findings"
status=0
for target in board_description_fuzzer screen_fuzzer http_request_fuzzer web_config_fuzzer; do
  mkdir -p "$work/$target"
  cp -r tests/*/corpus/"$target" "$work/$target/corpus"
  echo "== $target: $seconds s"
  if (cd "$work/$target" && "$OLDPWD/build-fuzz/$target" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/$target-" \
        corpus > log 2>&1); then
    grep -E '^stat::number_of_executed_units|DONE' "$work/$target/log" || true
  else
    status=1
    echo "FINDING in $target (inputs in $findings):"
    grep -E -A 30 'ERROR|runtime error|fuzzer:' "$work/$target/log" | head -60
  fi
done
exit $status
