#!/usr/bin/env bash
# Many plugins behind a slow link (bench/relay.py): the whole unattended job of qvk.exe under
# Wine against curl + unzip, and its default connections against -connections=1
# (bench/parallel_bench.py tells what is measured). Builds the Windows programs first unless
# BENCH_BUILD=0 (then QVK_WIN_BUILD_DIR / QVK_WIN64_BUILD_DIR name the builds); needs root for
# port 80.
#
#   bench/parallel_bench.sh        (BENCH_ROUNDS, BENCH_SMALL_COUNT, BENCH_LARGE_MB, ...)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
if [ "${BENCH_BUILD:-1}" != 0 ]; then
    "$here/../tools/build-windows.sh" >/dev/null
fi
exec python3 "$here/parallel_bench.py" "$@"
