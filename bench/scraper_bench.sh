#!/usr/bin/env bash
# The catalogue scraper on pages of 100, 1,000 and 10,000 entries: median times and growth.
#
#   bench/scraper_bench.sh [ROUNDS]      (default 15)
#
# Builds an optimised, non-sanitized core in BENCH_DIR (default build/bench).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="${BENCH_DIR:-$(dirname "$here")/build/bench}"
cmake -S "$here" -B "$work" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work" -j2 --target scraper_bench >/dev/null
"$work/scraper_bench" "${1:-15}"
