#!/usr/bin/env bash
# Runs the Windows cross builds' tests under wine (make test-windows):
#
#   test-windows.sh PREFIX BUILD_ROOT ARCH...
#
# Each BUILD_ROOT/ARCH runs all its tests where this machine runs programs
# for ARCH. Where the kernel cannot run 32-bit x86 programs, qemu's
# user-mode emulator is registered for them for the length of the i686 run
# (root only, under a name of our own: see tools/wine-run.sh) and removed
# again, since every 32-bit start then costs a minute: only the tests that
# 32-bit code alone can fail run (label 32bit), without the death tests (the
# emulator hands a fault to wine as another exception than Windows raises).
# Elsewhere an ARCH is checked by the export tables of its DLLs alone.
set -euo pipefail
[ $# -ge 3 ] || { sed -n '2,13s/^# \{0,1\}//p' "$0" >&2; exit 2; }
prefix=$1 root=$2
shift 2
wine_run=$(dirname "$0")/wine-run.sh

registered=
stop_emulating() { [ -z "$registered" ] || "$wine_run" --unemulate i686; registered=; }
trap stop_emulating EXIT
"$wine_run" --unemulate i686 || true  # what an interrupted run left behind

runs() {  # runs ARCH: 0 natively, 3 emulated, 1 not at all
    local status=0
    "$wine_run" --probe "$1" 2>/dev/null || status=$?
    if [ "$1" = i686 ] && [ "$status" = 1 ] && "$wine_run" --emulate i686; then
        registered=1
        status=3
    fi
    return "$status"
}

for arch in "$@"; do
    echo "== Windows $arch"
    status=0
    runs "$arch" || status=$?
    "$wine_run" --prefix "$prefix" --prepare
    case $status in
    0) ctest --test-dir "$root/$arch" --output-on-failure --timeout 600 -j 2 ;;
    3) echo "Windows $arch: emulated, so only what 32-bit code alone can show, and the export tables"
       GTEST_FILTER='-*DeathTest.*' ctest --test-dir "$root/$arch" --output-on-failure --timeout 600 -j 2 -L '32bit|host' ;;
    *) echo "Windows $arch: built; only its export tables are checked here"
       ctest --test-dir "$root/$arch" --output-on-failure -L host ;;
    esac
    stop_emulating
done
