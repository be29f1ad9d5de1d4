#!/usr/bin/env bash
# Runs TOOL with its arguments, as a test whose tool may be missing (skipped, but failed under
# CI=true). Usage: tool_test.sh PACKAGE TOOL ARGS...
# shellcheck source=tests/lib.sh
source "$(dirname "$0")/../lib.sh"
require "$1" "$2"
shift
exec "$@"
