#!/usr/bin/env bash
# Every man page renders without a warning from either formatter man may use (nor a style note
# from mandoc, such as a line over 80 bytes), and the version in its footer is this build's.
# Usage: man_lint_test.sh VERSION MAN_DIR
set -u
version=$1
command -v mandoc > /dev/null && command -v groff > /dev/null ||
  { echo "SKIP: mandoc or groff is missing (apt-get install mandoc groff)"; exit 77; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pages=("$2"/*.1)
[ -e "${pages[0]}" ] || { echo "FAIL: no man page in $2"; exit 1; }
for page in "${pages[@]}"; do
  name=$(basename "$page")
  out=$(mandoc -T lint -W style "$page" 2>&1)
  [ -z "$out" ] || fail "$name: mandoc -T lint: $out"
  out=$(groff -ww -z -man "$page" 2>&1)
  [ -z "$out" ] || fail "$name: groff -ww: $out"
  footer=$(grep -m1 '^\.TH' "$page")
  if [[ $footer == *boardstat\ [0-9]* && $footer != *"boardstat $version\""* ]]; then
    fail "$name: the footer names another version than $version: $footer"
  fi
done
[ "$failures" -eq 0 ] && echo "man pages: ${#pages[@]} clean"
[ "$failures" -eq 0 ]
