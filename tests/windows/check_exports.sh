#!/usr/bin/env bash
# Checks that a DLL exports exactly the given names, no more, no fewer.
#   check_exports.sh OBJDUMP DLL NAME...
set -euo pipefail
objdump=$1 dll=$2
shift 2
actual=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort)
expected=$(printf '%s\n' "$@" | sort)
if [ "$actual" != "$expected" ]; then
    echo "$dll exports:" >&2
    echo "$actual" >&2
    echo "expected:" >&2
    echo "$expected" >&2
    exit 1
fi
echo "$dll exports: $(echo $actual)"
