#!/usr/bin/env bash
# Runs a script on our simulated drive twice, natively (libdrive.so) and as
# drive.dll through the bridge and wine, and compares the transcripts byte
# for byte.
# same_transcript.sh <op-station-run> <libdrive.so> <bridge> <drive.dll> <script> <work folder>
set -euo pipefail
runner=$1 native=$2 bridge=$3 dll=$4 script=$5 work=$6
rm -rf "$work"
mkdir -p "$work/folder"
ln -s "$bridge" "$work/folder/libdrive.so"
ln -s "$dll" "$work/folder/drive.dll"
"$runner" --in-process --library "$native" --transcript "$work/native.transcript" "$script"
LD_LIBRARY_PATH=$work/folder "$runner" --transcript "$work/bridge.transcript" "$script"
if ! diff -u "$work/native.transcript" "$work/bridge.transcript"; then
    echo "FAIL: through the bridge the transcript of $script differs from the native one." >&2
    exit 1
fi
echo "same transcript through the bridge as natively: $(wc -l <"$work/bridge.transcript") lines"
