#!/usr/bin/env bash
# Runs a Windows program built by the cross build under wine: the emulator
# that CMake and CTest put before every Windows program they run.
#
#   wine-run.sh --prefix DIR -- PROGRAM.exe [ARGS...]
#   wine-run.sh --prefix DIR --prepare  only prepare the prefix
#   wine-run.sh --probe i686|x86_64     can this machine run such programs?
#                                       0 yes, 3 only under emulation, 1 no
#   wine-run.sh --emulate i686          run 32-bit x86 programs under qemu's
#                                       user-mode emulation where the kernel
#                                       cannot run them (root only)
#   wine-run.sh --unemulate i686        remove that emulator again
#
# The program runs in the wine prefix DIR, never in the user's ~/.wine. A new
# prefix is prepared at its first use (about 20 s; later starts take a
# fraction of a second), once, however many programs start at the same time.
# Wine's environment is the programs' own, from platform/wine.env.
#
# The emulator is registered with binfmt_misc under a name of our own,
# opstation-i386, and only where no handler for 32-bit x86 programs is
# enabled; --unemulate removes that one alone, never a handler that someone
# else registered (the distribution's qemu-i386, say), and --emulate first
# removes ours if an interrupted run left it behind.
set -euo pipefail

usage() { sed -n '2,23s/^# \{0,1\}//p' "$0" >&2; exit 2; }

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

binfmt=/proc/sys/fs/binfmt_misc
our_handler=$binfmt/opstation-i386

# Is any handler for 32-bit x86 programs through qemu enabled: ours, or one
# registered by someone else?
i386_emulated() {
    local handler
    for handler in "$binfmt"/*; do
        [ -f "$handler" ] || continue
        grep -qs '^enabled' "$handler" && grep -qs '^interpreter .*qemu-i386' "$handler" && return 0
    done
    return 1
}

probe() {  # probe MACHINE: 0 when programs for MACHINE run here, 3 when only emulated
    case $1 in
    x86_64) [ -n "$wine64" ] || { echo "wine-run: no 64-bit wine loader (install wine64)" >&2; return 1; } ;;
    i686)
        [ -n "$wine32" ] || { echo "wine-run: no 32-bit wine loader (install wine32:i386)" >&2; return 1; }
        if ! "$wine32" --version >/dev/null 2>&1; then
            echo "wine-run: this machine cannot run 32-bit x86 programs ($wine32 does not start: its kernel has no 32-bit compatibility mode)" >&2
            return 1
        fi
        if i386_emulated; then
            echo "wine-run: 32-bit x86 programs run here under qemu's user-mode emulation, about a minute for each start" >&2
            return 3
        fi ;;
    *) usage ;;
    esac
}

# Removes our handler, if it is there.
unemulate_i686() {
    [ -e "$our_handler" ] || return 0
    [ "$(id -u)" -eq 0 ] || { echo "wine-run: removing the emulator $our_handler needs root" >&2; return 1; }
    echo -1 >"$our_handler"
}

# A kernel without the 32-bit compatibility mode hands 32-bit x86 programs
# to the interpreter registered for them with binfmt_misc: qemu's user-mode
# emulator, loaded once at registration (flag F), so that it serves in any
# mount namespace. The magic and mask are those of an i386 ELF executable.
# Only this step needs root.
emulate_i686() {
    [ -n "$wine32" ] || { echo "wine-run: no 32-bit wine loader (install wine32:i386)" >&2; return 1; }
    unemulate_i686 || return 1  # what an interrupted run left behind
    "$wine32" --version >/dev/null 2>&1 && return 0  # natively, or through someone else's handler
    local qemu
    qemu=$(command -v qemu-i386-static) || { echo "wine-run: no qemu-i386-static to emulate 32-bit programs (install qemu-user-static)" >&2; return 1; }
    [ "$(id -u)" -eq 0 ] || { echo "wine-run: registering an emulator for 32-bit programs needs root" >&2; return 1; }
    [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" || return 1
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo "wine-run: registering $qemu as opstation-i386 for 32-bit x86 programs, which this machine's kernel cannot run" >&2
    printf '%s' ":opstation-i386:M::$magic:$mask:$qemu:F" >"$binfmt/register" || return 1
    "$wine32" --version >/dev/null 2>&1 && return 0
    echo "wine-run: $wine32 does not start under $qemu either" >&2
    unemulate_i686
    return 1
}

# A prefix is ready once prepared, with its 32-bit half where 32-bit
# programs run: one prepared while they could not (before an emulator was
# registered) lacks it, and 32-bit programs then find no kernel32.dll.
prefix_ready() {
    [ -e "$prefix/.opstation-ready" ] || return 1
    [ -e "$prefix/drive_c/windows/syswow64/kernel32.dll" ] && return 0
    ! { [ -n "$wine32" ] && "$wine32" --version >/dev/null 2>&1; }
}

# Prepares the prefix unless it is ready; parallel first starts wait for the
# one that prepares it.
prepare_prefix() {
    prefix_ready && return
    mkdir -p "$(dirname "$prefix")"
    exec 9>"$prefix.lock"
    flock 9
    if ! prefix_ready; then
        echo "wine-run: preparing the wine prefix $prefix (the first start of a new prefix takes about 20 s, 3 min with 32-bit programs emulated)" >&2
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
    --emulate) [ "${2:-}" = i686 ] || usage; emulate_i686; exit ;;
    --unemulate) [ "${2:-}" = i686 ] || usage; unemulate_i686; exit ;;
    --) shift; break ;;
    -h|--help) usage ;;
    *) break ;;
    esac
done
[ -n "$prefix" ] || usage
prefix=$(realpath -m "$prefix")  # wine wants an absolute path
[ -n "$wine64" ] || { echo "wine-run: no 64-bit wine loader: run tools/install-packages.sh tools/debian-packages-windows.txt" >&2; exit 2; }

export WINEPREFIX=$prefix
while IFS= read -r entry; do
    case $entry in [A-Z]*=*) export "${entry?}" ;; esac
done <"$(dirname "$0")/../platform/wine.env"

prepare_prefix
[ -z "$prepare_only" ] || exit 0
[ $# -ge 1 ] || usage
program=$1
machine=$(pe_machine "$program") || { echo "wine-run: $program: not a Windows program for i686 or x86_64" >&2; exit 2; }
loader=$wine64
[ "$machine" = i686 ] && loader=$wine32
[ -n "$loader" ] || { echo "wine-run: no wine loader for $machine programs: run tools/install-packages.sh tools/debian-packages-windows.txt" >&2; exit 2; }

exec "$loader" "$@"
