#!/bin/bash
# boardstat_snapshot -o PATH over what PATH can be: a file replaced whole with its mode and
# owner kept, a symlink followed, a device or FIFO written in place, errors naming PATH as given,
# and a bad output found before the probe measures.
#
#   output_test.sh SNAPSHOT SOURCE_DIR
set -u
snapshot=$1
# shellcheck source=tests/servers.sh
source "$(dirname "$0")/../servers.sh"  # $tmp and within
cd "$tmp" || exit 1
umask 022
export SOURCE_DATE_EPOCH=0 BOARDSIM_CONFIG=$2/tests/snapshot/testdata/open_fails.board
timeout 60 "$snapshot" > expected.board || exit 1
root=$([ "$(id -u)" = 0 ] && echo yes)
failures=0
given_away() { [ -z "$root" ] || chown nobody "$1"; }  # only root can
kept_owner() { [ -z "$root" ] || [ "$(stat -c %U "$1")" = nobody ]; }

# NAME | SET-UP | ARGUMENTS | EXIT STATUS | STANDARD ERROR (a grep -E pattern, empty: none) |
# CHECK afterwards (a command, run in the work folder)
cases=(
  "missing file: created as > would create it|:|-o new.board|0||cmp -s new.board expected.board && test \$(stat -c %a new.board) = 644"
  "a mode-600 file of another owner keeps both|echo old > own.board; chmod 600 own.board; given_away own.board|-o own.board|0||cmp -s own.board expected.board && test \$(stat -c %a own.board) = 600 && kept_owner own.board"
  "relative symlink into another folder: its target replaced|mkdir d; echo old > d/t.board; ln -s d/t.board link.board|-o link.board|0||test -L link.board && cmp -s d/t.board expected.board"
  "symlink to a symlink to a missing file: the file created|ln -s d2/t.board l1; mkdir d2; ln -s l1 l2|-o l2|0||test -L l1 -a -L l2 && cmp -s d2/t.board expected.board"
  "FIFO: written in place for its reader|mkfifo fifo; (timeout 60 cat fifo > from_fifo &)|-o fifo|0||test -p fifo && within 10 cmp -s from_fifo expected.board"
  "/dev/null: written, still the device|:|-o /dev/null|0||test -c /dev/null"
  "/dev/full: the error names it, the device stays|:|-o /dev/full|1|^boardstat_snapshot: cannot write /dev/full: No space left on device\$|test -c /dev/full"
  "a folder: not replaced|mkdir folder|-o folder|1|^boardstat_snapshot: cannot write folder: Is a directory\$|test -d folder"
  "symlink into a missing folder: the error names the link|ln -s nowhere/t.board broken|-o broken|1|^boardstat_snapshot: cannot write broken: No such file or directory\$|test -L broken"
  "under a file: nothing measured first|echo x > plain; : > trace|--probe -o plain/x.board|1|^boardstat_snapshot: cannot write plain/x.board: Not a directory\$|! grep -q 'poke [0-9]* 2908' trace"
  "-o '': a usage error, nothing written|:|-o ''|2|-o needs a file name|test ! -s stdout"
  "-o last with no name: a usage error|:|-o|2|-o needs a file name|test ! -s stdout"
)

for row in "${cases[@]}"; do
  IFS='|' read -r name setup args status pattern verify <<< "$row"
  eval "$setup"
  eval "set -- $args"
  BOARDSIM_TRACE=$tmp/trace timeout 60 "$snapshot" "$@" > stdout 2> stderr
  got=$?
  problems=""
  [ "$got" = "$status" ] || problems+=" exit $got, not $status;"
  if [ -n "$pattern" ]; then
    grep -qE -- "$pattern" stderr || problems+=" standard error '$(cat stderr)';"
  elif [ -s stderr ]; then
    problems+=" standard error '$(cat stderr)';"
  fi
  eval "$verify" || problems+=" check failed: $verify;"
  leftovers=$(find . -name '*.tmp')
  [ -z "$leftovers" ] || problems+=" temporary files left: $leftovers;"
  [ -z "$problems" ] && echo "PASS $name" || echo "FAIL $name:$problems"
  [ -z "$problems" ] || failures=$((failures + 1))
done
exit $((failures != 0))
