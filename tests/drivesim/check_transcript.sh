#!/usr/bin/env bash
# Runs a script through op-station-run and compares its transcript with the
# golden one, byte for byte; a difference is shown as a unified diff.
# check_transcript.sh <op-station-run> <library> <script> <golden> <output>
set -euo pipefail
runner=$1 library=$2 script=$3 golden=$4 output=$5
"$runner" --library "$library" --transcript "$output" "$script"
if ! diff -u "$golden" "$output"; then
    echo "FAIL: the transcript of $script differs from $golden." >&2
    echo "If the change is meant, copy $output over $golden." >&2
    exit 1
fi
echo "transcript matches $golden"
