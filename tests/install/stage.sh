#!/usr/bin/env bash
# Installs the build tree into a fresh staging prefix: stage.sh <build> <prefix>
set -euo pipefail
rm -rf "$2"
cmake --install "$1" --prefix "$2" >"$2.log" || { cat "$2.log"; exit 1; }
echo "installed into $2"
