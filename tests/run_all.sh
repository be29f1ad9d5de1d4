#!/usr/bin/env bash
# Builds and runs every test of boardstat:
#   1. the case files, the probe model, terminal, exporter, snapshot and package tests (build/);
#   2. the same again under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/);
#   3. the Windows build under wine (build-mingw/), when the cross compiler and wine are there;
#   4. each fuzz target for 60 seconds (build-fuzz/), when clang and libFuzzer are there
#      (FUZZ_SECONDS sets another time).
# A part whose tools are missing is skipped with a message that names the packages, except
# under CI (CI=true), where a skipped part is a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-$(nproc)}"

skip() {
  echo "SKIPPED: $1 (install: $2)"
  if [ "${CI:-}" = true ]; then
    echo "CI must run every part: failing" >&2
    exit 1
  fi
}

# The tests need GoogleTest and Google Benchmark, which the console alone does not: here a
# missing one stops the configure step instead of leaving its tests out.
require_test_tools() { cmake --preset "$1" -DBOARDSTAT_REQUIRE_TEST_TOOLS=ON > /dev/null; }

# default: the case files, probe model, terminal, exporter, snapshot and package tests; asan:
# the same under AddressSanitizer and UndefinedBehaviorSanitizer.
for preset in default asan; do
  echo "== preset $preset"
  require_test_tools "$preset"
  cmake --workflow --preset "$preset"
done

echo "== the Windows build under wine"
if command -v x86_64-w64-mingw32-g++-posix >/dev/null && [ -x /usr/lib/wine/wine64 ] &&
   command -v tmux >/dev/null && [ -d /usr/src/googletest ]; then
  require_test_tools mingw
  cmake --workflow --preset mingw
else
  skip "Windows build and tests" "apt-get install g++-mingw-w64-x86-64 wine64 tmux googletest"
fi

echo "== fuzz targets under AddressSanitizer and UndefinedBehaviorSanitizer"
fuzz_status=0
bash tests/run_fuzz.sh "${FUZZ_SECONDS:-60}" || fuzz_status=$?
if [ "$fuzz_status" -eq 77 ]; then
  skip "fuzz targets" "apt-get install clang libclang-rt-14-dev"
elif [ "$fuzz_status" -ne 0 ]; then
  exit "$fuzz_status"
fi

echo "== all tests passed"
