# Sourced by the benchmark scripts that run windows: a private Xvfb server
# on a display it picks itself, and what they measure processes with.
#
#   start_private_display WORK   starts Xvfb (its log in WORK), exports
#                                DISPLAY and a runtime folder in WORK, and
#                                sets XVFB_PID; the caller ends it
#   cpu_ns_of PID                processor time of PID and its children (a
#                                drive host), in ns, summed over threads

start_private_display() {
    local work=$1 number=
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
        number=$(sed -n 1p "$work/display")
        [ -z "$number" ] || break
        sleep 0.1
    done
    [ -n "$number" ] || { echo "Xvfb did not start: see $work/xvfb.log" >&2; return 1; }
    export DISPLAY=:$number
    unset QT_QPA_PLATFORM
    export XDG_RUNTIME_DIR=$work/runtime
    mkdir -m 700 "$XDG_RUNTIME_DIR"
}

cpu_ns_of() {
    local p
    for p in "$1" $(pgrep -P "$1" || true); do cat /proc/"$p"/task/*/schedstat; done | awk '{s += $1} END {print s}'
}
