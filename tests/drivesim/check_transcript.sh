#!/usr/bin/env bash
# Runs a script through op-station-run and compares its transcript with the
# golden one, byte for byte; a difference is shown as a unified diff. The
# runner's command (the program, after an emulator such as wine's) comes
# last.
# check_transcript.sh <library> <script> <golden> <output> <op-station-run...>
set -euo pipefail
library=$1 script=$2 golden=$3 output=$4
shift 4
"$@" --library "$library" --transcript "$output" "$script"
if ! diff -u "$golden" "$output"; then
    echo "FAIL: the transcript of $script differs from $golden." >&2
    echo "If the change is meant, copy $output over $golden." >&2
    exit 1
fi
echo "transcript matches $golden"
