#!/usr/bin/env bash
# A drive library built against the staged install with find_package, then
# loaded by the installed panel through LD_LIBRARY_PATH in place of ours.
# consumer.sh <prefix> <source> <work folder> <C compiler>
set -euo pipefail
. "$(dirname "$0")/common.sh"
prefix=$1 source=$2 work=$3 cc=$4
rm -rf "$work"
mkdir -p "$work"
cmake -S "$source" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log" ||
    { cat "$work/configure.log"; fail "the consumer project does not configure"; }
cmake --build "$work/build" >"$work/build.log" || { cat "$work/build.log"; fail "the consumer drive does not build"; }
library="$work/build/libdrive.so"
[ -f "$library" ] || fail "the consumer build made no libdrive.so"

# Its script test, added with opstation_add_script_test, passes; the
# transcript is the golden one.
ctest --test-dir "$work/build" --output-on-failure >"$work/ctest.log" 2>&1 ||
    { cat "$work/ctest.log"; fail "the consumer's script test does not pass"; }
cmp -s "$work/build/consumer.counts.transcript" "$source/counts.transcript" || fail "the consumer's transcript differs"

exported=$(nm -D --defined-only "$library" | awk '$2 == "T" { print $3 }' | sort | tr '\n' ' ')
[ "$exported" = "opstat_download opstat_initialise opstat_terminate opstat_upload " ] ||
    fail "libdrive.so exports '$exported', expected the four entry points only"

# Closed with SIGINT, as Ctrl+C in a terminal does; the other tests use SIGTERM.
CLOSE_SIGNAL=INT RUNNING_FILE="$work/running" run_panel "$prefix/bin/op-station" 1 "$work/panel-stderr" \
    LD_LIBRARY_PATH="$work/build" CONSUMER_DRIVE_LOG="$work/drive.log" CONSUMER_DRIVE_RUNNING="$work/running"
[ -f "$work/drive.log" ] || fail "the panel did not stop the consumer drive (no log)"
cat "$work/drive.log"
grep -qx 'initialised 1' "$work/drive.log" || fail "the consumer drive was not initialised"
grep -qx 'terminated 1' "$work/drive.log" || fail "the consumer drive was not terminated"
cycles=$(sed -n 's/^cycles //p' "$work/drive.log")
[ "$cycles" -ge 5 ] || fail "only $cycles exchange cycles ran"
echo "consumer drive ok: $cycles cycles"
