#!/usr/bin/env bash
# The staged install: its files, the panel's RUNPATH, and the panel running
# on the installed simulated drive with LD_LIBRARY_PATH unset.
# installed_tree.sh <prefix> <libdir>
set -euo pipefail
. "$(dirname "$0")/common.sh"
prefix=$1 libdir=$2
check_tree "$prefix" "$libdir"
run_runner "$prefix" "$libdir"
run_server "$prefix" "$libdir"
run_launcher "$prefix" "$libdir"
# shellcheck disable=SC2046
run_panel "$prefix/bin/op-station" 1 "$prefix.panel-stderr" $(own_drive_env "$prefix/$libdir/op-station")
echo "installed tree ok"
