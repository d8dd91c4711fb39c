#!/usr/bin/env bash
# The install code's extraction against Info-ZIP's `unzip -o`: both unpack the same set of about
# 200 MB of archives (many small files, a few large ones) round after round, in alternating
# order, once into empty folders and once over the files of the run before (an update), and
# the medians of their times are compared (ratio = unzip time / install time, so above 1 means
# the install code is faster). The install code writes each file beside its target and moves
# it into place once the archive proved whole (platform::MoveFileOver): a rename per file that
# unzip does not spend, and on an update a flush of the data before it replaces the old file,
# where unzip truncates the old file and writes over it.
#
#   bench/extract_bench.sh [ROUNDS]      (default 5)
#
# Environment: BENCH_DIR (default build/bench below the source tree). The archives are made
# once with Info-ZIP's zip into BENCH_DIR/archives and kept for later runs.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
rounds="${1:-5}"
work="${BENCH_DIR:-$(dirname "$here")/build/bench}"
say() { printf '[bench] %s\n' "$*"; }

cmake -S "$here" -B "$work" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work" -j2 --target extract_bench >/dev/null
bench="$work/extract_bench"

archives="$work/archives"
if [ ! -f "$archives/.complete" ]; then
    say "making the archives (once)"
    rm -rf "$archives" "$work/make" && mkdir -p "$archives" "$work/make"
    # Text-like data (base64 of random bytes) that deflate shrinks by about a quarter, as
    # plugin files mostly are; every file different.
    for a in $(seq -w 1 20); do
        dir="$work/make/small$a"
        mkdir -p "$dir/sub/deeper"
        head -c $((3 * 1024 * 1024)) /dev/urandom | base64 -w 76 >"$dir/all.txt"
        (cd "$dir" && split -a 3 -b 8k all.txt part- && rm all.txt && set -- part-* && i=0 &&
            for f; do
                if [ $((i++ % 2)) -eq 0 ]; then mv "$f" "sub/$f.dll"; else mv "$f" "sub/deeper/$f.txt"; fi
            done)
        # Each plugin's files below a folder of its own, as real plugins ship them: the archives
        # of one set never overwrite each other.
        (cd "$work/make" && zip -q -r "$archives/small$a.zip" "small$a")
    done
    for a in 1 2 3; do
        dir="$work/make/large$a"
        mkdir -p "$dir"
        head -c $((30 * 1024 * 1024)) /dev/urandom | base64 -w 76 >"$dir/large$a.bin"
        head -c $((4 * 1024 * 1024)) /dev/urandom >"$dir/random$a.bin"
        (cd "$work/make" && zip -q -r "$archives/large$a.zip" "large$a")
    done
    rm -rf "$work/make"
    touch "$archives/.complete"
fi
set -- "$archives"/*.zip
files=0
for zipfile in "$@"; do files=$((files + $(zipinfo -1 "$zipfile" | grep -vc '/$'))); done
say "$# archives, $(du -cm "$@" | tail -1 | cut -f1) MB, $files files"

out="$work/extract-out"
# $1 fresh: into an empty folder; update: over the files the previous run left, as when the
# installer runs again.
run_install() {
    [ "$1" = fresh ] && rm -rf "$out/install"
    mkdir -p "$out/install"
    sync
    "$bench" "$archives" "$out/install" | awk '{print $2}'
}
run_unzip() {
    [ "$1" = fresh ] && rm -rf "$out/unzip"
    mkdir -p "$out/unzip"
    sync
    local start end
    start=$(date +%s.%N)
    for zipfile in "$archives"/*.zip; do unzip -o -q "$zipfile" -d "$out/unzip"; done
    end=$(date +%s.%N)
    awk -v a="$end" -v b="$start" 'BEGIN { printf "%.4f\n", a - b }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# One round of each first, so the archives are in the page cache for both alike; then the
# install code's output must equal unzip's.
rm -rf "$out"
run_install fresh >/dev/null
run_unzip fresh >/dev/null
diff -r "$out/install/Plugins" "$out/unzip" >/dev/null || { say "outputs differ"; exit 1; }

declare -A times
for round in $(seq 1 "$rounds"); do
    for mode in fresh update; do
        if [ $((round % 2)) -eq 1 ]; then
            i=$(run_install $mode); u=$(run_unzip $mode)
        else
            u=$(run_unzip $mode); i=$(run_install $mode)
        fi
        times[install-$mode]+="$i "; times[unzip-$mode]+="$u "
        say "round $round, $mode: install $i s, unzip $u s"
    done
done
rm -rf "$out"
for mode in fresh update; do
    # shellcheck disable=SC2086
    im=$(median ${times[install-$mode]}); um=$(median ${times[unzip-$mode]})
    printf '[bench] %s: medians install %.3f s, unzip -o %.3f s, ratio (unzip time / install time) %s\n' \
        "$mode" "$im" "$um" "$(ratio "$um" "$im")"
done
say "aim: a ratio of at least 0.80"
