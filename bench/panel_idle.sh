#!/usr/bin/env bash
# What an always-on panel costs, side by side with a baseline: an empty
# 378 x 531 Qt window with a 40 ms timer that does nothing. Runs both under
# a private Xvfb server and prints:
#   - processor time over SECONDS of steady state (after a 5 s warm-up), the
#     panel with its drive host, the baseline running at the same time;
#   - what a bare round trip to another process every 40 ms costs here,
#     the floor under the drive host's share;
#   - peak resident memory (from /usr/bin/time -v);
#   - start to first frame (median of nine interleaved starts);
#   - Timer1's tick intervals over SECONDS;
#   - repaints while idle, with one LED flashing, and after one line change.
# Usage: bench/panel_idle.sh [build-folder] [seconds]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-20}
panel=$build/bin/op-station
baseline=$build/bench/op-station-baseline
probe=$build/bench/op-station-probe
floor=$build/bench/op-station-round-trip-floor
for f in "$panel" "$baseline" "$probe" "$floor"; do [ -x "$f" ] || { echo "missing $f: run make first" >&2; exit 1; }; done

source "$(dirname "$0")/private_display.sh"
work=$(mktemp -d)
XVFB_PID=
trap 'kill $XVFB_PID 2>/dev/null || true; rm -rf "$work"' EXIT
start_private_display "$work"

# Peak resident memory of a process's children (the panel's drive host), in kB.
children_hwm_kb() {
    local child total=0 kb
    for child in $(pgrep -P "$1" || true); do
        kb=$(awk '/VmHWM/ {print $2}' /proc/"$child"/status 2>/dev/null || echo 0)
        total=$((total + ${kb:-0}))
    done
    echo $total
}

# Starts a program under /usr/bin/time, in this shell (so that it can be
# waited for); sets started_timer and started_pid.
start_measured() {
    local name=$1 prog=$2
    /usr/bin/time -v -o "$work/$name.time" "$prog" >/dev/null 2>&1 &
    started_timer=$! started_pid=""
    for _ in $(seq 50); do started_pid=$(pgrep -P $started_timer || true); [ -n "$started_pid" ] && break; sleep 0.1; done
}

# Processor time of the baseline and of the panel with its drive host, over
# the same steady state, both running at once on the same X server; and
# their peak resident memory (the panel's with its host's).
measure_costs() {
    start_measured baseline "$baseline"
    local base_timer=$started_timer base_pid=$started_pid
    start_measured panel "$panel"
    local panel_timer=$started_timer panel_pid=$started_pid
    sleep 5
    local b0 p0 b1 p1
    b0=$(cpu_ns_of "$base_pid"); p0=$(cpu_ns_of "$panel_pid")
    sleep "$seconds"
    b1=$(cpu_ns_of "$base_pid"); p1=$(cpu_ns_of "$panel_pid")
    local host_kb; host_kb=$(children_hwm_kb "$panel_pid")
    kill -TERM "$base_pid" "$panel_pid"
    wait "$base_timer" "$panel_timer" 2>/dev/null || true
    local name before after extra
    for name in baseline panel; do
        if [ $name = baseline ]; then before=$b0 after=$b1 extra=0; else before=$p0 after=$p1 extra=$host_kb; fi
        local rss; rss=$(awk -F: '/Maximum resident/ {gsub(/ /,"",$2); print $2}' "$work/$name.time")
        rss=$((rss + extra))
        local cpu_ms; cpu_ms=$(echo "($after - $before) / 1000000" | bc -l | xargs printf '%.1f')
        printf '%-10s cpu_ms_over_%ss=%-6s cpu_share=%.3f%%  peak_rss_kb=%s\n' "$name" "$seconds" "$cpu_ms" \
            "$(echo "$cpu_ms / ($seconds * 10)" | bc -l)" "$rss"
        echo "$cpu_ms $rss" >"$work/$name.cost"
    done
    echo "(panel: op-station and its drive host together; the host's own peak is ${host_kb} kB)"
}

# Start to first frame in milliseconds, the baseline's and the panel's
# starts interleaved (so that both meet the same machine), median of nine
# each; prints "baseline panel".
first_frames() {
    local base=() pan=() mode t0 t1
    for _ in $(seq 9); do
        for mode in baseline panel; do
            t0=$(date +%s%N)
            t1=$("$probe" "$mode" 1 idle | awk -F= '/first_frame_epoch_ns/ {print $2}')
            if [ $mode = baseline ]; then base+=($(( (t1 - t0) / 1000000 ))); else pan+=($(( (t1 - t0) / 1000000 ))); fi
        done
    done
    echo "$(printf '%s\n' "${base[@]}" | sort -n | sed -n 5p) $(printf '%s\n' "${pan[@]}" | sort -n | sed -n 5p)"
}

echo "== processor time and memory (steady state over ${seconds} s, side by side)"
measure_costs
read -r base_cpu base_rss <"$work/baseline.cost"
read -r panel_cpu panel_rss <"$work/panel.cost"
printf 'cpu ratio panel/baseline = %.2f (limit 1.2)\n' "$(echo "$panel_cpu / ($base_cpu + 0.0001)" | bc -l)"
printf 'rss difference = %d kB (limit 10240 kB)\n' $((panel_rss - base_rss))
echo "== the floor: a bare round trip to another process every 40 ms"
"$floor" 250

echo "== start to first frame (median of 9, interleaved)"
read -r fb fp < <(first_frames)
echo "baseline_ms=$fb panel_ms=$fp"
printf 'first frame ratio panel/baseline = %.2f (limit 1.3)\n' "$(echo "$fp / $fb" | bc -l)"

echo "== Timer1 and repaints over ${seconds} s, nothing changing"
"$probe" panel "$seconds" idle | grep -v first_frame
echo "== repaints with one LED flashing (JOG held)"
"$probe" panel 10 flash | grep -E '^(paints|paint )'
echo "== repaints after one change of line 2 (UP tapped once)"
"$probe" panel 8 line | grep -E '^(paints|paint )'
