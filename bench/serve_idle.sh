#!/usr/bin/env bash
# What the browser station costs while nothing happens, side by side in one
# run with the window on the same library (our simulated drive, each
# program with its own drive host):
#   - op-station, the window, under a private Xvfb server;
#   - op-station-serve with no page open;
#   - op-station-serve with one page open in headless Chromium (the
#     server's cost; the browser's own is the browser's).
# Prints each one's processor time over SECONDS of steady state (after a
# 5 s warm-up), drive host included, and its peak resident memory.
# Usage: bench/serve_idle.sh [build-folder] [seconds]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-20}
panel=$build/bin/op-station
serve=$build/bin/op-station-serve
for f in "$panel" "$serve" /usr/bin/chromium; do [ -x "$f" ] || { echo "missing $f" >&2; exit 1; }; done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "$0")/private_display.sh"
start_private_display "$work"
pids+=("$XVFB_PID")
peak_kb_of() {
    local p total=0 kb
    for p in "$1" $(pgrep -P "$1" || true); do
        kb=$(awk '/VmHWM/ {print $2}' /proc/"$p"/status 2>/dev/null || echo 0)
        total=$((total + ${kb:-0}))
    done
    echo $total
}

"$panel" 2>"$work/panel.err" &
panel_pid=$!
pids+=($panel_pid)
"$serve" --listen 127.0.0.1:0 >"$work/alone.out" 2>"$work/alone.err" &
alone_pid=$!
pids+=($alone_pid)
"$serve" --listen 127.0.0.1:0 >"$work/watched.out" 2>"$work/watched.err" &
watched_pid=$!
pids+=($watched_pid)
for _ in $(seq 50); do [ -s "$work/watched.out" ] && break; sleep 0.1; done
/usr/bin/chromium --headless=new --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/chromium" "$(head -n 1 "$work/watched.out")" >/dev/null 2>&1 &
pids+=($!)

sleep 5
names=(window "serve, no page" "serve, one page")
targets=("$panel_pid" "$alone_pid" "$watched_pid")
before=()
for pid in "${targets[@]}"; do before+=("$(cpu_ns_of "$pid")"); done
sleep "$seconds"
echo "== processor time over ${seconds} s of steady state, drive host included (side by side)"
for i in 0 1 2; do
    after=$(cpu_ns_of "${targets[$i]}")
    printf '%-16s %7.1f ms (%.3f %% of one core)  peak resident %d kB\n' "${names[$i]}" \
        "$(echo "($after - ${before[$i]}) / 1000000" | bc -l)" \
        "$(echo "($after - ${before[$i]}) / ($seconds * 10000000)" | bc -l)" "$(peak_kb_of "${targets[$i]}")"
done
kill -TERM "$watched_pid" "$alone_pid"
wait "$watched_pid" "$alone_pid" 2>/dev/null || true
echo "the watched server's own summary:"
tail -n 1 "$work/watched.err"
