#!/usr/bin/env bash
# Runs TOOL with its arguments, as a test whose tool may be missing: exit 77 (skipped) where it
# is, except under CI=true, where that fails. Usage: tool_test.sh PACKAGE TOOL ARGS...
package=$1
shift
if ! command -v "$1" > /dev/null; then
  echo "$1 is missing (apt-get install $package)" >&2
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi
exec "$@"
