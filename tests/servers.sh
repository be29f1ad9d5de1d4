# shellcheck shell=bash
# For the scripts that still source this: lib.sh with its servers set up.
# shellcheck source=tests/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" && servers_set_up
