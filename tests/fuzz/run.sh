#!/usr/bin/env bash
# Builds the fuzz targets (preset fuzz: clang, libFuzzer, ASan and UBSan) and runs each for a
# bounded time over a scratch copy of its seed corpus, so that the committed corpus never grows.
# Usage: tests/fuzz/run.sh [SECONDS_PER_TARGET]   (default 60)
# Prints each target's executions; exits non-zero on a finding (crash, undefined behaviour,
# leak, a shape check, a hang of more than 10 s), whose input is kept in build-fuzz/findings/.
# Exits 77 (skipped) where clang or libFuzzer is missing.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}

probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
  > "$probe/probe.cc"
if ! command -v clang++ >/dev/null ||
   ! clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cc" -o "$probe/probe" 2>/dev/null; then
  echo "SKIPPED: clang++ with libFuzzer is missing (install: apt-get install clang libclang-rt-14-dev)"
  exit 77
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"${CMAKE_BUILD_PARALLEL_LEVEL:-2}"

findings="$PWD/build-fuzz/findings"
mkdir -p "$findings"
status=0
for target in board_description_fuzzer screen_fuzzer; do
  work="$probe/$target"
  mkdir -p "$work/corpus"
  cp tests/fuzz/corpus/"$target"/* "$work/corpus/"
  echo "== $target: $seconds s"
  if (cd "$work" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "$OLDPWD/build-fuzz/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/$target-" \
        corpus > log 2>&1); then
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$work/log" || true
    grep -E 'DONE' "$work/log" | tail -1 || true
  else
    status=1
    echo "FINDING in $target (inputs in $findings):"
    grep -E -A 30 'ERROR|runtime error|fuzzer:' "$work/log" | head -60
  fi
done
exit $status
