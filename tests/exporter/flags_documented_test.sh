#!/bin/bash
# The flags that --help lists, with their defaults, against the flags documented by hand: the
# man page's OPTIONS (one .TP entry per flag) and any Markdown table whose rows start with a
# `--flag` cell in a table that has --web.* flags. Each side must name exactly the other's flags, and each documented entry must
# name the flag's default.
# Usage: flags_documented_test.sh EXPORTER MAN_PAGE [MARKDOWN]...
set -u
exporter=$1
shift
fail() { echo "FAIL: $*"; failed=1; }
failed=0

# "NAME DEFAULT" per flag (DEFAULT "-" when none), from --help.
"$exporter" --help | awk '
  function flush() {
    if (name == "") return
    print name, match(text, /\(default [^,;)]+/) ? substr(text, RSTART + 9, RLENGTH - 9) : "-"
  }
  /^  (-h, )?--/ { flush(); name = $1 == "-h," ? $2 : $1; sub(/=.*/, "", name)
                   text = $0; next }
  /^      / { text = text " " $0; next }
  { flush(); name = "" }
  END { flush() }' | sort >"${TMPDIR:-/tmp}/flags.$$"
trap 'rm -f "${TMPDIR:-/tmp}/flags.$$"' EXIT
[ "$(wc -l <"${TMPDIR:-/tmp}/flags.$$")" -ge 10 ] || fail "--help lists too few flags"

# Each documented entry as one line: the flag, then its text, roff and Markdown marks removed.
entries() {
  case "$1" in
    *.md) awk '
            function flush(   row, cells, rest, flag) {
              if (table !~ /`--web\./) { table = ""; return }
              while (match(table, /^[^\n]*\n/)) {
                row = substr(table, 1, RLENGTH - 1); table = substr(table, RLENGTH + 1)
                split(row, cells, "|"); rest = substr(row, length(cells[2]) + 3); gsub(/`/, " ", rest)
                while (match(cells[2], /--[a-z][a-z.-]*[a-z]/)) {
                  print substr(cells[2], RSTART, RLENGTH), rest
                  cells[2] = substr(cells[2], RSTART + RLENGTH)
                }
              }
            }
            /^\|/ { table = table $0 "\n"; next }
            { flush() }
            END { flush() }' "$1" ;;
    *) sed -e 's/\\-/-/g' "$1" | awk '
         /^\.SH/ { options = $2 == "OPTIONS"; if (entry != "") print entry; entry = ""; next }
         !options { next }
         /^\.TP/ { if (entry != "") print entry; entry = ""; header = 1; next }
         header { match($0, /--[a-z][a-z.-]*[a-z]/); entry = substr($0, RSTART, RLENGTH) " ";
                  header = 0; next }
         entry != "" { sub(/^\.[A-Z]+ /, ""); gsub(/"/, ""); entry = entry " " $0 }
         END { if (entry != "") print entry }' ;;
  esac
}

for doc in "$@"; do
  [ -f "$doc" ] || continue
  documented=$(entries "$doc")
  if [ -z "$documented" ]; then
    case "$doc" in *.md) continue ;; esac  # a page without a flag table
    fail "$doc documents no flags"
  fi
  while read -r name default; do
    entry=$(grep -E "^$name( |$)" <<<"$documented" | head -1)
    [ -n "$entry" ] || { fail "$doc does not document $name"; continue; }
    [ "$default" = - ] || grep -qF -- " $default" <<<"$entry" ||
      fail "$doc does not give $name's default $default"
  done <"${TMPDIR:-/tmp}/flags.$$"
  for name in $(cut -d' ' -f1 <<<"$documented"); do
    grep -q "^$name " "${TMPDIR:-/tmp}/flags.$$" || fail "$doc documents $name, which --help lacks"
  done
done
exit $failed
