#!/usr/bin/env bash
# Runs every test: the native unit tests (with ASan and UBSan), the checks of the shipped
# qvk.exe as a file (label "file") and the end-to-end tests of the Windows program under
# Wine. Installs what it needs first; safe to rerun.
tag=test
. "$(dirname "$0")/lib.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)

"$root/tools/setup.sh"

"$root/tools/build-windows.sh"

say "building the native core and its tests (build/native)"
quietly cmake -S . -B build/native -G Ninja -DQVK_SANITIZE=ON \
    -DQVK_WIN_BUILD_DIR="$root/build/win32" -DQVK_WIN64_BUILD_DIR="$root/build/win64"
cmake --build build/native -j"$jobs"

say "running the tests (unit, file and wine)"
ctest --test-dir build/native --output-on-failure -j"$jobs" "$@"
