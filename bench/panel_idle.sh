#!/usr/bin/env bash
# What an always-on panel costs, side by side with a baseline: an empty
# 378 x 531 Qt window with a 40 ms timer that does nothing. Runs both under
# a private Xvfb server and prints:
#   - processor time over SECONDS of steady state (after a 5 s warm-up);
#   - peak resident memory (from /usr/bin/time -v);
#   - start to first frame (median of 5 starts);
#   - Timer1's tick intervals over SECONDS;
#   - repaints while idle, with one LED flashing, and after one line change.
# Usage: bench/panel_idle.sh [build-folder] [seconds]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-20}
panel=$build/bin/op-station
baseline=$build/bench/op-station-baseline
probe=$build/bench/op-station-probe
for f in "$panel" "$baseline" "$probe"; do [ -x "$f" ] || { echo "missing $f: run make first" >&2; exit 1; }; done

work=$(mktemp -d)
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
unset QT_QPA_PLATFORM

export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

# Processor time of a process in nanoseconds, summed over its threads.
cpu_ns_of() { cat /proc/"$1"/task/*/schedstat | awk '{s += $1} END {print s}'; }

# Processor time of one program over the steady state, and its peak RSS.
measure_cost() {
    local name=$1 prog=$2
    /usr/bin/time -v -o "$work/$name.time" "$prog" >/dev/null 2>&1 &
    local timer=$! pid=""
    for _ in $(seq 50); do pid=$(pgrep -P $timer || true); [ -n "$pid" ] && break; sleep 0.1; done
    sleep 5
    local before; before=$(cpu_ns_of "$pid")
    sleep "$seconds"
    local after; after=$(cpu_ns_of "$pid")
    kill -TERM "$pid"; wait $timer 2>/dev/null || true
    local rss; rss=$(awk -F: '/Maximum resident/ {gsub(/ /,"",$2); print $2}' "$work/$name.time")
    local cpu_ms; cpu_ms=$(echo "($after - $before) / 1000000" | bc -l | xargs printf '%.1f')
    printf '%-10s cpu_ms_over_%ss=%-6s cpu_share=%.3f%%  peak_rss_kb=%s\n' "$name" "$seconds" "$cpu_ms" \
        "$(echo "$cpu_ms / ($seconds * 10)" | bc -l)" "$rss"
    echo "$cpu_ms $rss" >"$work/$name.cost"
}

# Start to first frame, median of five starts, in milliseconds.
first_frame() {
    local mode=$1 samples=()
    for _ in 1 2 3 4 5; do
        local t0; t0=$(date +%s%N)
        local t1; t1=$("$probe" "$mode" 1 idle | awk -F= '/first_frame_epoch_ns/ {print $2}')
        samples+=($(( (t1 - t0) / 1000000 )))
    done
    printf '%s\n' "${samples[@]}" | sort -n | sed -n 3p
}

echo "== processor time and memory (steady state over ${seconds} s)"
measure_cost baseline "$baseline"
measure_cost panel "$panel"
read -r base_cpu base_rss <"$work/baseline.cost"
read -r panel_cpu panel_rss <"$work/panel.cost"
printf 'cpu ratio panel/baseline = %.2f (limit 1.2)\n' "$(echo "$panel_cpu / ($base_cpu + 0.0001)" | bc -l)"
printf 'rss difference = %d kB (limit 10240 kB)\n' $((panel_rss - base_rss))

echo "== start to first frame (median of 5)"
fb=$(first_frame baseline); fp=$(first_frame panel)
echo "baseline_ms=$fb panel_ms=$fp"
printf 'first frame ratio panel/baseline = %.2f (limit 1.2)\n' "$(echo "$fp / $fb" | bc -l)"

echo "== Timer1 and repaints over ${seconds} s, nothing changing"
"$probe" panel "$seconds" idle | grep -v first_frame
echo "== repaints with one LED flashing (JOG held)"
"$probe" panel 10 flash | grep -E '^(paints|paint )'
echo "== repaints after one change of line 2 (UP tapped once)"
"$probe" panel 8 line | grep -E '^(paints|paint )'
