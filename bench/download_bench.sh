#!/usr/bin/env bash
# The download step of qvk.exe under Wine against curl on loopback (bench/download_bench.py
# tells what is measured). Builds the Windows programs first; needs root for port 80.
#
#   bench/download_bench.sh        (BENCH_SIZE_MB, default 64; see download_bench.py)
#   bench/download_bench.sh https  (the same over TLS, the certificate checked by both)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$here/../tools/build-windows.sh" >/dev/null
exec python3 "$here/download_bench.py" "$@"
