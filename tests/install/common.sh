# Shared by the install tests: failing with a message, and running an
# installed panel offscreen for a while and closing it with a signal, as a
# desktop session (SIGTERM) or a terminal (SIGINT) does: the panel must
# unload the drive and exit with 0.
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# run_panel <executable> <seconds> <stderr file> [VAR=value...]
# LD_LIBRARY_PATH is unset unless given among the assignments. The signal is
# CLOSE_SIGNAL, TERM unless set. With RUNNING_FILE set, the signal comes once
# that file exists (at most 60 s), instead of after <seconds>.
run_panel() {
    local exe=$1 seconds=$2 errors=$3
    shift 3
    [ -x "$exe" ] || fail "$exe is not an executable"
    # With job control on, the background panel does not inherit SIGINT
    # ignored, as it would from a script.
    set -m
    env -u LD_LIBRARY_PATH QT_QPA_PLATFORM=offscreen "$@" "$exe" 2>"$errors" &
    local pid=$!
    set +m
    if [ -n "${RUNNING_FILE:-}" ]; then
        local waited=0
        while [ ! -e "$RUNNING_FILE" ] && [ "$waited" -lt 600 ] && kill -0 "$pid" 2>/dev/null; do
            sleep 0.1
            waited=$((waited + 1))
        done
    else
        sleep "$seconds"
    fi
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid" && status=0 || status=$?
        cat "$errors" >&2
        fail "$exe exited by itself with status $status within $seconds s"
    fi
    local signal=${CLOSE_SIGNAL:-TERM}
    kill -"$signal" "$pid"
    # Bounded wait for the close: 10 s, then the panel is killed.
    local tries=0
    while kill -0 "$pid" 2>/dev/null; do
        tries=$((tries + 1))
        if [ "$tries" -gt 100 ]; then
            kill -KILL "$pid" 2>/dev/null || true
            wait "$pid" || true
            fail "$exe did not close within 10 s of SIG$signal"
        fi
        sleep 0.1
    done
    local status=0
    wait "$pid" || status=$?
    cat "$errors" >&2
    [ "$status" -eq 0 ] || fail "$exe exited with status $status after SIG$signal"
    # The one line that is no error: which library file was loaded.
    if grep '^op-station:' "$errors" | grep -qv '^op-station: drive library /'; then fail "$exe reported an error"; fi
    return 0
}

# own_drive_env <private library folder>: the assignments run_panel needs to
# load our simulated drive from an installed tree. None: the RUNPATH finds
# it. In a sanitizer build, though, dlopen is called from the sanitizer's
# interceptor, so the loader searches that library's (empty) RUNPATH instead
# of the panel's, and the folder has to come through LD_LIBRARY_PATH; the
# RUNPATH itself is still checked by check_runpath.
own_drive_env() {
    if [ "${OPSTATION_SANITIZED:-0}" = 1 ]; then echo "LD_LIBRARY_PATH=$1"; fi
}

# check_runpath <executable> <expected RUNPATH>
check_runpath() {
    local dynamic
    dynamic=$(readelf -d "$1") || fail "readelf cannot read $1"
    echo "$dynamic" | grep -q '(RPATH)' && fail "$1 has an RPATH entry; RUNPATH expected"
    local runpath
    runpath=$(echo "$dynamic" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
    [ "$runpath" = "$2" ] || fail "$1 has RUNPATH '$runpath', expected '$2'"
}

# check_tree <root> <libdir>: the files of an installed OP Station.
check_tree() {
    local root=$1 libdir=$2 id=org.example.opstation
    local file
    for file in bin/op-station bin/op-station-drive-host bin/op-station-run bin/op-station-wine \
        bin/op-station-serve share/man/man1/op-station-serve.1.gz \
        share/man/man1/op-station.1.gz share/man/man1/op-station-drive-host.1.gz share/man/man1/op-station-run.1.gz \
        share/doc/op-station/examples/first-minute.ops share/doc/op-station/examples/first-minute.transcript \
        share/man/man1/op-station-wine.1.gz \
        "$libdir/op-station/libdrive.so" include/opstation/drive_api.h \
        "$libdir/cmake/OpStation/OpStationConfig.cmake" "$libdir/cmake/OpStation/OpStationConfigVersion.cmake" \
        "$libdir/cmake/OpStation/OpStationTargets.cmake" \
        "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml"; do
        [ -f "$root/$file" ] || fail "$file is not installed"
    done
    local size
    for size in 32 48 64 128 256; do
        file="$root/share/icons/hicolor/${size}x${size}/apps/op-station.png"
        [ -f "$file" ] || fail "no ${size}x${size} icon"
        file -b "$file" | grep -q "PNG image data, $size x $size, 8-bit/color RGBA" ||
            fail "$file is not a $size x $size RGBA PNG: $(file -b "$file")"
    done
    check_runpath "$root/bin/op-station" "\$ORIGIN/../$libdir/op-station"
    check_runpath "$root/bin/op-station-drive-host" "\$ORIGIN/../$libdir/op-station"
    check_runpath "$root/bin/op-station-run" "\$ORIGIN/../$libdir/op-station"
    check_runpath "$root/bin/op-station-serve" "\$ORIGIN/../$libdir/op-station"
    gzip -t "$root/share/man/man1/op-station-run.1.gz" || fail "the manual page of op-station-run is no gzip file"
}

# run_runner <root> <libdir>: the installed op-station-run on the installed
# simulated drive, loaded by name as the panel loads it, with LD_LIBRARY_PATH
# unset unless own_drive_env says otherwise.
run_runner() {
    local root=$1 libdir=$2
    # shellcheck disable=SC2046
    printf 'wait 1\nexpect line 1 is "STOPPED    LOCAL"\n' |
        env -u LD_LIBRARY_PATH $(own_drive_env "$root/$libdir/op-station") "$root/bin/op-station-run" - ||
        fail "the installed op-station-run did not pass a one-line script on the installed drive"
}

# run_server <root> <libdir>: the installed op-station-serve on the
# installed simulated drive: it prints its address, serves its page there,
# and closes with 0 on SIGTERM after running cycles.
run_server() {
    local root=$1 libdir=$2 work=$1.server address status=0
    rm -rf "$work"
    mkdir -p "$work"
    # shellcheck disable=SC2046
    env -u LD_LIBRARY_PATH $(own_drive_env "$root/$libdir/op-station") \
        "$root/bin/op-station-serve" --listen 127.0.0.1:0 >"$work/out" 2>"$work/errors" &
    local pid=$! tries=0
    while [ ! -s "$work/out" ] && [ "$tries" -lt 100 ] && kill -0 "$pid" 2>/dev/null; do sleep 0.1; tries=$((tries + 1)); done
    address=$(head -n 1 "$work/out")
    python3 -c 'import sys, urllib.request; sys.exit(urllib.request.urlopen(sys.argv[1], timeout=10).status != 200)' \
        "$address" || { kill -KILL "$pid"; fail "the installed op-station-serve did not serve its page at '$address'"; }
    kill -TERM "$pid"
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] && grep -q '^op-station-serve: ran [1-9][0-9]* exchange cycle' "$work/errors" ||
        fail "the installed op-station-serve ended with $status: $(cat "$work/errors")"
}

# run_launcher <root> <libdir>: the installed op-station-wine on a DLL that
# is only a PE header, with no wine to be found: it starts the installed
# op-station-run on the DLL, which names the DLL and what is missing. No
# wine runs.
run_launcher() {
    local root=$1 libdir=$2 work=$1.launcher status=0
    rm -rf "$work"
    mkdir -p "$work"
    # MZ, the PE header's offset (0x40) at 0x3C, then "PE\0\0" and the machine AMD64
    { printf 'MZ'; head -c 58 /dev/zero; printf '\x40\0\0\0PE\0\0\x64\x86'; } >"$work/drive.dll"
    echo 'wait 1' >"$work/s.ops"
    env OPSTATION_WINEPREFIX="$work/wine" OPSTATION_WINE_DIR=/nonexistent \
        "$root/bin/op-station-wine" --run "$work/s.ops" "$work/drive.dll" 2>"$work/errors" || status=$?
    [ "$status" -eq 3 ] || fail "op-station-wine ended with $status, not 3: $(cat "$work/errors")"
    grep -q "^op-station-run: cannot load the drive library $work/drive.dll: " "$work/errors" ||
        fail "op-station-wine: unexpected message: $(cat "$work/errors")"
}

# check_metadata <root>: the desktop entry and the metainfo pass the
# validators of the desktop's menu and of the software centres.
check_metadata() {
    local root=$1 id=org.example.opstation
    desktop-file-validate "$root/share/applications/$id.desktop" || fail "desktop-file-validate rejects the desktop entry"
    appstreamcli validate --no-net --pedantic --strict "$root/share/metainfo/$id.metainfo.xml" ||
        fail "appstreamcli rejects the metainfo"
}
