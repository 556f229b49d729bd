#!/usr/bin/env bash
# Checks the Windows downloads that make package-windows made:
#
#   check-windows-zips.sh PACKAGES LISTS ARCH...
#
# Each ARCH's zip in PACKAGES holds exactly the files LISTS/contents.txt
# names (<version> and <arch> filled in), and every program and DLL in it
# imports only DLLs that every Windows has (LISTS/system-dlls.txt): the C
# and C++ runtimes are linked in, nothing of mingw's is needed beside them.
set -euo pipefail
[ $# -ge 3 ] || { sed -n '2,9s/^# \{0,1\}//p' "$0" >&2; exit 2; }
packages=$1 lists=$2
shift 2
objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump)
allowed=$(tr 'A-Z' 'a-z' <"$lists/system-dlls.txt" | sed -e 's/#.*//' -e '/^[[:space:]]*$/d')
status=0
for arch in "$@"; do
    zips=("$packages"/op-station-*-windows-"$arch".zip)
    [ -f "${zips[0]}" ] || { echo "FAIL: no Windows download for $arch in $packages" >&2; exit 1; }
    zip=${zips[0]}
    version=$(basename "$zip" | sed -e 's/^op-station-//' -e "s/-windows-$arch.zip$//")
    expected=$(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' -e "s/<version>/$version/g" -e "s/<arch>/$arch/g" "$lists/contents.txt" | sort)
    if ! diff -u <(echo "$expected") <(unzip -Z1 "$zip" | grep -v '/$' | sort); then
        echo "FAIL: $(basename "$zip") does not hold what $lists/contents.txt lists" >&2
        status=1
    fi
    work=$(mktemp -d)
    unzip -q "$zip" -d "$work"
    while IFS= read -r -d '' program; do
        while read -r dll; do
            if ! grep -qxF "$(echo "$dll" | tr 'A-Z' 'a-z')" <<<"$allowed"; then
                echo "FAIL: ${program#"$work"/} imports $dll, which Windows does not have" >&2
                status=1
            fi
        done < <("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')
    done < <(find "$work" \( -name '*.exe' -o -name '*.dll' \) -print0)
    rm -rf "$work"
    [ "$status" -ne 0 ] || echo "$(basename "$zip"): $(unzip -Z1 "$zip" | grep -vc '/$') files as listed, imports only Windows' own DLLs"
done
exit "$status"
