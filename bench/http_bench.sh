#!/usr/bin/env bash
# KiteHTTP against curl on loopback: both fetch the same large file from tools/plugin_server.py,
# round after round, and the medians of their throughputs are compared.
#
#   bench/http_bench.sh [ROUNDS]          (default 5; needs root for port 80)
#
# Environment: BENCH_SIZE_MB (default 256), BENCH_ADDRESS (default 127.0.0.250),
# BENCH_DIR (default build/bench below the source tree).
# Builds an optimised, non-sanitized KiteHTTP and bench/http_bench.cpp in BENCH_DIR.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(dirname "$here")"
rounds="${1:-5}"
size_mb="${BENCH_SIZE_MB:-256}"
address="${BENCH_ADDRESS:-127.0.0.250}"
work="${BENCH_DIR:-$source_dir/build/bench}"
python="$(command -v python3)"
python="$("$python" -c 'import sys; print(sys.executable)')"

say() { printf '[bench] %s\n' "$*"; }

cmake -S "$here" -B "$work" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work" -j2 --target http_bench >/dev/null
bench="$work/http_bench"

www="$work/www"
mkdir -p "$www"
big="$www/big.bin"
if [ ! -f "$big" ] || [ "$(stat -c %s "$big")" -ne $((size_mb * 1024 * 1024)) ]; then
    say "making a ${size_mb} MB file"
    head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$big"
fi
expected="$(stat -c %s "$big")"

server_out="$work/server.out"
: >"$server_out"
"$python" "$source_dir/tools/plugin_server.py" --address "$address" --root "$www" \
    --lifetime 900 >"$server_out" 2>&1 &
server_pid=$!
cleanup() {
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    rm -f "$work/kite.out" "$work/curl.out"
}
trap cleanup EXIT
for _ in $(seq 1 200); do
    grep -qx ready "$server_out" && break
    kill -0 "$server_pid" 2>/dev/null || { cat "$server_out"; exit 1; }
    sleep 0.1
done
grep -qx ready "$server_out" || { say "server did not come up"; exit 1; }

url="http://$address/big.bin"
kite_rates=()
curl_rates=()
round_ratios=()
run_kite() {
    local state bytes seconds
    read -r state bytes seconds chunks < <("$bench" "$url" "$work/kite.out")
    if [ "$state" != 6 ] || [ "$bytes" != "$expected" ] || ! cmp -s "$big" "$work/kite.out"; then
        say "KiteHTTP round $round failed: state $state, $bytes bytes"
        exit 1
    fi
    kite_seconds="$seconds"
    kite_rate="$(awk -v b="$bytes" -v s="$seconds" 'BEGIN { printf "%.1f", b / s / 1048576 }')"
}
run_curl() {
    curl_seconds="$(curl -s -o "$work/curl.out" -w '%{time_total}' "$url")"
    local bytes
    bytes="$(stat -c %s "$work/curl.out")"
    [ "$bytes" = "$expected" ] || { say "curl round $round got $bytes bytes"; exit 1; }
    curl_rate="$(awk -v b="$bytes" -v s="$curl_seconds" 'BEGIN { printf "%.1f", b / s / 1048576 }')"
}

for round in $(seq 1 "$rounds"); do
    rm -f "$work/kite.out" "$work/curl.out"
    # Alternate who goes first, so that neither always meets the other's dirty pages.
    if [ $((round % 2)) -eq 1 ]; then run_kite; run_curl; else run_curl; run_kite; fi
    say "round $round: KiteHTTP $kite_rate MB/s ($kite_seconds s, $chunks chunks), curl $curl_rate MB/s ($curl_seconds s)"
    kite_rates+=("$kite_rate")
    curl_rates+=("$curl_rate")
    round_ratios+=("$(awk -v k="$kite_rate" -v c="$curl_rate" 'BEGIN { printf "%.3f", k / c }')")
done

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
kite_median="$(median "${kite_rates[@]}")"
curl_median="$(median "${curl_rates[@]}")"
ratio="$(awk -v k="$kite_median" -v c="$curl_median" 'BEGIN { printf "%.2f", k / c }')"
say "median over $rounds rounds of ${size_mb} MB: KiteHTTP $kite_median MB/s, curl $curl_median MB/s, ratio $ratio"
# Other load on the machine moves both figures; the ratio within a round is steadier.
say "median of the per-round ratios: $(median "${round_ratios[@]}")"
