#!/usr/bin/env bash
# Installs the Debian packages of a package list that are missing: with
# apt-get as root, through sudo otherwise. The list is
# tools/debian-packages.txt unless another is given. A package written as
# name:arch (wine32:i386) needs that architecture: it is added to dpkg
# first, or apt has no candidate for it.
set -euo pipefail
list=${1:-"$(dirname "$0")/debian-packages.txt"}
mapfile -t wanted < <(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' -e 's/[[:space:]]//g' "$list")

missing=()
for pkg in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

native=$(dpkg --print-architecture)
mapfile -t known < <(dpkg --print-foreign-architectures)
foreign=()
for pkg in "${missing[@]}"; do
    case $pkg in
    *:*) arch=${pkg##*:}
         [ "$arch" = "$native" ] || [[ " ${known[*]} ${foreign[*]} " == *" $arch "* ]] || foreign+=("$arch") ;;
    esac
done

echo "Installing missing Debian packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    run=()
elif command -v sudo >/dev/null 2>&1; then
    run=(sudo)
else
    echo "error: these Debian packages are missing: ${missing[*]}" >&2
    for arch in "${foreign[@]}"; do echo "Enable their architecture as root with:  dpkg --add-architecture $arch" >&2; done
    echo "Install them as root with:  apt-get update && apt-get install ${missing[*]}" >&2
    exit 1
fi
for arch in "${foreign[@]}"; do
    echo "Enabling the $arch architecture for: ${missing[*]}"
    "${run[@]}" dpkg --add-architecture "$arch"
done
"${run[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${run[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
