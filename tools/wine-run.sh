#!/usr/bin/env bash
# Runs a Windows program built by the cross build under wine: the emulator
# that CMake and CTest put before every Windows program they run.
#
#   wine-run.sh --prefix DIR -- PROGRAM.exe [ARGS...]
#   wine-run.sh --prefix DIR --prepare  only prepare the prefix
#   wine-run.sh --probe i686|x86_64     can this machine run such programs?
#
# The program runs in the wine prefix DIR, never in the user's ~/.wine. A new
# prefix is prepared at its first use (about 20 s; later starts take a
# fraction of a second), once, however many programs start at the same time.
# The ANSI code page is pinned to 1252: wine takes it from the Unix locale
# (ru_RU would give 1251), and the panel's tests expect Windows-1252.
set -euo pipefail

usage() { sed -n '2,13s/^# \{0,1\}//p' "$0" >&2; exit 2; }

loader_for() {  # loader_for i686|x86_64: the wine loader for that machine
    local name=$1 path
    for path in /usr/lib/wine/$name /usr/lib/wine/$name-stable; do
        [ -x "$path" ] && { echo "$path"; return; }
    done
    command -v "$name" || true
}
wine32=$(loader_for wine)
wine64=$(loader_for wine64)

# The machine a PE file is built for: the 16-bit field after the "PE\0\0"
# signature, whose offset stands at 0x3C.
pe_machine() {
    local offset
    offset=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ') || return 1
    [ -n "$offset" ] || return 1
    case $(od -An -t x2 -j $((offset + 4)) -N 2 "$1" | tr -d ' ') in
    014c) echo i686 ;;
    8664) echo x86_64 ;;
    *) return 1 ;;
    esac
}

probe() {  # probe MACHINE: exit 0 when programs for MACHINE run here
    case $1 in
    x86_64) [ -n "$wine64" ] || { echo "wine-run: no 64-bit wine loader (install wine64)" >&2; return 1; } ;;
    i686)
        [ -n "$wine32" ] || { echo "wine-run: no 32-bit wine loader (install wine32:i386)" >&2; return 1; }
        if ! "$wine32" --version >/dev/null 2>&1; then
            echo "wine-run: this machine cannot run 32-bit x86 programs ($wine32 does not start: its kernel has no 32-bit compatibility mode)" >&2
            return 1
        fi ;;
    *) usage ;;
    esac
}

# Prepares the prefix unless it is ready; parallel first starts wait for the
# one that prepares it.
prepare_prefix() {
    [ -e "$prefix/.opstation-ready" ] && return
    mkdir -p "$(dirname "$prefix")"
    exec 9>"$prefix.lock"
    flock 9
    if [ ! -e "$prefix/.opstation-ready" ]; then
        echo "wine-run: preparing the wine prefix $prefix (the first start of a new prefix takes about 20 s)" >&2
        rm -rf "$prefix"
        local start=$SECONDS
        if ! "$wine64" wineboot --init >"$prefix.log" 2>&1; then
            echo "wine-run: could not prepare the wine prefix $prefix; wineboot said:" >&2
            cat "$prefix.log" >&2
            exit 1
        fi
        touch "$prefix/.opstation-ready"
        echo "wine-run: wine prefix ready after $((SECONDS - start)) s" >&2
    fi
    flock -u 9
    exec 9>&-
}

prefix=
prepare_only=
while [ $# -gt 0 ]; do
    case $1 in
    --prefix) prefix=${2:?}; shift 2 ;;
    --prepare) prepare_only=1; shift ;;
    --probe) probe "${2:-}"; exit ;;
    --) shift; break ;;
    -h|--help) usage ;;
    *) break ;;
    esac
done
[ -n "$prefix" ] || usage
prefix=$(realpath -m "$prefix")  # wine wants an absolute path
[ -n "$wine64" ] || { echo "wine-run: no 64-bit wine loader: run tools/install-packages.sh tools/debian-packages-windows.txt" >&2; exit 2; }

export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export LC_ALL=C.UTF-8
# No Mono or Gecko installer, no desktop menu entries written into the
# user's home, and no debugger started when a program crashes: it just ends.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe,winedbg.exe="

prepare_prefix
[ -z "$prepare_only" ] || exit 0
[ $# -ge 1 ] || usage
program=$1
machine=$(pe_machine "$program") || { echo "wine-run: $program: not a Windows program for i686 or x86_64" >&2; exit 2; }
loader=$wine64
[ "$machine" = i686 ] && loader=$wine32
[ -n "$loader" ] || { echo "wine-run: no wine loader for $machine programs: run tools/install-packages.sh tools/debian-packages-windows.txt" >&2; exit 2; }

exec "$loader" "$@"
