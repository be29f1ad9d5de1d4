# shellcheck shell=bash
# Sourced by the test scripts: the one rule for a test that cannot run here. It is skipped
# (exit 77, which ctest reports as skipped), except under CI=true, where every test must run:
# there a skip fails.

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
