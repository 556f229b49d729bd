#!/usr/bin/env bash
# The installed desktop entry and metainfo pass the validators: metadata.sh <prefix>
set -euo pipefail
. "$(dirname "$0")/common.sh"
check_metadata "$1"
echo "metadata ok"
