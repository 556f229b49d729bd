#!/usr/bin/env bash
# Builds the Debian package with CPack, checks its computed dependencies and
# its contents, unpacks it into a temporary root and runs the panel from
# there on the packaged simulated drive.
# package.sh <build> <work folder> <libdir>
set -euo pipefail
. "$(dirname "$0")/common.sh"
build=$1 work=$2 libdir=$3
rm -rf "$work"
mkdir -p "$work"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack could not build the package"; }
shopt -s nullglob
debs=("$work"/out/op-station_*.deb)
[ ${#debs[@]} -eq 1 ] || { cat "$work/cpack.log"; fail "expected one .deb, found ${#debs[@]}"; }
deb=${debs[0]}
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
names=$(echo "$depends" | tr ',' '\n' | sed -e 's/^ *//' -e 's/[ (].*//')
for needed in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6; do
    echo "$names" | grep -qxF "$needed" || fail "Depends lacks $needed"
done
if echo "$names" | grep -q drive; then fail "Depends names our private libdrive.so"; fi

root="$work/root"
dpkg -x "$deb" "$root"
check_tree "$root/usr" "$libdir"
run_runner "$root/usr" "$libdir"
run_server "$root/usr" "$libdir"
check_metadata "$root/usr"
# shellcheck disable=SC2046
run_panel "$root/usr/bin/op-station" 1 "$work/panel-stderr" $(own_drive_env "$root/usr/$libdir/op-station")
echo "package ok"
