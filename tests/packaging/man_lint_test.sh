#!/usr/bin/env bash
# Every man page renders without a warning from either formatter man may use (nor a style note
# from mandoc, such as a line over 80 bytes), and the version in its footer is this build's.
# Usage: man_lint_test.sh VERSION MAN_DIR
# shellcheck source=tests/packaging/package.sh
source "$(dirname "$0")/package.sh"
version=$1
need mandoc groff
pages=("$2"/*.1)
[ -e "${pages[0]}" ] || give_up "no man page in $2"
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
passed "man pages: ${#pages[@]} clean"
