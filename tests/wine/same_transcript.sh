#!/usr/bin/env bash
# Runs a script on our simulated drive twice, natively (libdrive.so) and as
# drive.dll in the Windows drive host under wine, and compares the
# transcripts byte for byte.
# same_transcript.sh <op-station-run> <libdrive.so> <drive.dll> <script> <work folder>
set -euo pipefail
runner=$1 native=$2 dll=$3 script=$4 work=$5
rm -rf "$work"
mkdir -p "$work"
"$runner" --in-process --library "$native" --transcript "$work/native.transcript" "$script"
"$runner" --library "$dll" --transcript "$work/wine.transcript" "$script"
if ! diff -u "$work/native.transcript" "$work/wine.transcript"; then
    echo "FAIL: through wine the transcript of $script differs from the native one." >&2
    exit 1
fi
echo "same transcript through wine as natively: $(wc -l <"$work/wine.transcript") lines"
