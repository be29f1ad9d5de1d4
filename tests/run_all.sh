#!/usr/bin/env bash
# Builds and runs every test of boardstat:
#   1. unit, simulated-board and end-to-end tests (build/);
#   2. the same again under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/);
#   3. the Windows build under wine (build-mingw/), when the cross compiler and wine are there.
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

echo "== unit, simulated-board and end-to-end tests"
cmake --workflow --preset default

echo "== the same under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --workflow --preset asan

echo "== the Windows build under wine"
if command -v x86_64-w64-mingw32-g++-posix >/dev/null && [ -x /usr/lib/wine/wine64 ] &&
   command -v tmux >/dev/null && [ -d /usr/src/googletest ]; then
  cmake --workflow --preset mingw
else
  skip "Windows build and tests" "apt-get install g++-mingw-w64-x86-64 wine64 tmux googletest"
fi

echo "== all tests passed"
