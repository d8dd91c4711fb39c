#!/usr/bin/env bash
# The 32-bit lane: the shipped 32-bit qvk.exe under Wine, on this host too. Its Wine processes
# start here directly when the kernel runs 32-bit programs itself; otherwise each one starts in
# a user namespace of its own whose private binfmt_misc hands i386 ELF files to
# qemu-i386-static (Linux 6.7 and later let a user namespace mount one). Nothing outside that
# namespace sees the registration, so no other Wine run on the machine is touched. Only the Wine
# processes go in there: the test's servers stay outside, where they may use port 80.
#
#   tools/lane32.sh how              how the lane runs here: "natively", "under qemu-i386
#                                    emulation", or "not run, because ..." (exit 77)
#   tools/lane32.sh run CMD...       CMD as the lane runs it (winelib's QVK_WINE_LAUNCHER)
#   tools/lane32.sh step NAME CMD... one CTest step of the lane: CMD with QVK_WINE_LAUNCHER set,
#                                    its outcome and time added to $QVK_LANE32_RECORD; exit 77
#                                    with the reason when the lane cannot run here
#   tools/lane32.sh report RECORD    the lane's closing lines from its record; with
#                                    QVK_REQUIRE_LANE32=1 (set by .ci/run) a lane not run fails
#
# QVK_LANE32_EMULATE=1 takes the emulator even where the kernel runs 32-bit programs, to try
# that way on such a host.
tag=lane32
. "$(dirname "$0")/lib.sh"
self=$(cd "$(dirname "$0")" && pwd)/lane32.sh
wine32=${QVK_WINE_DIR:-/usr/lib/wine}/wine  # Wine's 32-bit loader, an i386 ELF file
qemu=/usr/bin/qemu-i386-static

# The usual i386 ELF match: class 32-bit, little-endian, version 1, an executable or shared
# object (the mask lets e_type 2 and 3 through) for machine 3.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

runs_natively() {
    [ -z "${QVK_LANE32_EMULATE:-}" ] && "$wine32" --version >/dev/null 2>&1
}

# Inside the new namespace: its own binfmt_misc, the i386 entry (F: the emulator opened now,
# P: argv[0] kept, C: credentials from the program), then the command.
inside() {
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    printf ':qvk-i386:M::%s:%s:%s:FPC' "$magic" "$mask" "$qemu" >/proc/sys/fs/binfmt_misc/register
    exec "$@"
}

# unshare starts the command in this very process, so that a pid given out is the command's.
namespace=(unshare --user --map-root-user --mount --propagation private -- "$self" _inside)


# Sets `mode`, how the lane runs here, and `reason`, why it cannot (empty when it can).
probe() {
    reason="" mode="natively"
    runs_natively && return 0
    mode="under qemu-i386 emulation"
    local out why="the kernel cannot start 32-bit programs"
    [ -n "${QVK_LANE32_EMULATE:-}" ] && why="the emulator is asked for (QVK_LANE32_EMULATE)"
    if [ ! -x "$wine32" ]; then
        reason="Wine's 32-bit loader $wine32 is missing (tools/setup.sh installs wine32:i386)"
    elif [ ! -x "$qemu" ]; then
        reason="$why and $qemu is missing (tools/setup.sh installs qemu-user-static)"
    elif ! command -v unshare >/dev/null; then
        reason="$why and unshare is missing"
    elif ! out=$("${namespace[@]}" "$wine32" --version 2>&1); then
        out=$(printf '%s' "$out" | tr '\n' ' ')
        reason="$why and a user namespace cannot mount its own binfmt_misc here (Linux 6.7 or later needed, this is $(uname -r)): $out"
    fi
}

case "${1:-}" in
    _inside) shift; inside "$@" ;;
    how)
        probe
        if [ -n "$reason" ]; then echo "not run, because $reason"; exit 77; fi
        echo "$mode" ;;
    run)
        shift
        if runs_natively; then exec "$@"; fi
        exec "${namespace[@]}" "$@" ;;
    step)
        name=$2; shift 2
        record=${QVK_LANE32_RECORD:?QVK_LANE32_RECORD must name the record of the lane}
        mkdir -p "$(dirname "$record")"
        [ "$name" = setup ] && : >"$record"  # a new run of the lane
        probe
        if [ -n "$reason" ]; then
            printf '%s\tnot run\t0\t%s\n' "$name" "$reason" >>"$record"
            echo "SKIPPED: the 32-bit lane is not run, because $reason"
            exit 77
        fi
        echo "32-bit lane: $name, Wine's 32-bit processes run $mode"
        export QVK_WINE_LAUNCHER="$self run"
        [ "$mode" = natively ] || export QVK_WINE_ALLOW_QEMU=1
        start=$SECONDS
        out=$(mktemp)
        rc=0
        "$@" 2>&1 | tee "$out" || rc=${PIPESTATUS[0]}
        # A test that finds no 32-bit program it can run skips itself and says why.
        skipped=$(sed -n 's/^SKIPPED: //p' "$out" | head -n 1)
        rm -f "$out"
        if [ "$rc" -eq 77 ]; then
            printf '%s\tnot run\t0\t%s\n' "$name" "${skipped:-its test skipped itself}" >>"$record"
        else
            printf '%s\t%s\t%d\t%d\n' "$name" "$mode" "$rc" $((SECONDS - start)) >>"$record"
        fi
        exit "$rc" ;;
    report)
        record=$2
        if [ ! -s "$record" ]; then
            reason="none of its tests was among those run"
        else
            reason=$(awk -F'\t' '$2 == "not run" { print $4; exit }' "$record")
        fi
        if [ -n "$reason" ]; then
            say "32-bit lane: not run, because $reason"
            if [ -n "${QVK_REQUIRE_LANE32:-}" ]; then
                say "the 32-bit lane is required here (QVK_REQUIRE_LANE32): failing"
                exit 1
            fi
            exit 0
        fi
        awk -F'\t' '{ n++; t += $4; if ($3 == 0) ok++; mode = $2; steps = steps sprintf(" %s %ds", $1, $4) }
            END { printf "[lane32] 32-bit lane: ran %s, %d of %d steps passed, %d s added (%d min %02d s):%s\n",
                         mode, ok, n, t, t / 60, t % 60, steps }' "$record" >&2 ;;
    *)
        echo "usage: $0 how | run CMD... | step NAME CMD... | report RECORD" >&2
        exit 2 ;;
esac
