#!/usr/bin/env bash
# Installs the Debian packages of tools/debian-packages.txt that are missing:
# with apt-get as root, through sudo otherwise.
set -euo pipefail
list="$(dirname "$0")/debian-packages.txt"
mapfile -t wanted < <(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$list")

missing=()
for pkg in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing Debian packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    run=()
elif command -v sudo >/dev/null 2>&1; then
    run=(sudo)
else
    echo "error: these Debian packages are missing: ${missing[*]}" >&2
    echo "Install them as root with:  apt-get install ${missing[*]}" >&2
    exit 1
fi
"${run[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${run[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
