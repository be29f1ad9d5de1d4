#!/bin/bash
# The exporter's manual page is clean for both formatters.
set -u
page=$1
command -v mandoc > /dev/null && command -v groff > /dev/null ||
  { echo "mandoc or groff missing: skipped"; exit 77; }
lint=$(mandoc -T lint "$page" 2>&1)
[ -z "$lint" ] || { echo "$lint"; exit 1; }
warnings=$(groff -ww -z -man "$page" 2>&1)
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }
echo "mandoc and groff: clean"
