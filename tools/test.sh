#!/usr/bin/env bash
# Runs every test: the native unit tests (with ASan and UBSan) and the end-to-end tests of the
# Windows program under Wine. Installs what it needs first; safe to rerun.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
say() { printf '[test] %s\n' "$*"; }
jobs=$(nproc)

"$root/tools/setup.sh"

# The product is the 32-bit build. The 64-bit twin from the same source runs the Wine tests on
# hosts whose kernel cannot start 32-bit programs (Wine's 32-bit loader then has no way in).
for arch in i686 x86_64; do
    dir=build/win32; [ "$arch" = x86_64 ] && dir=build/win64
    "$root/tools/cross-deps.sh" "$arch"
    say "building the Windows program for $arch ($dir)"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
        -DQVK_DEPS_PREFIX="$root/build/deps/$arch" >/dev/null
    cmake --build "$dir" -j"$jobs"
done

say "building the native core and its tests (build/native)"
cmake -S . -B build/native -G Ninja -DQVK_SANITIZE=ON -DQVK_WIN_BUILD_DIR="$root/build/win32" \
    -DQVK_WIN64_BUILD_DIR="$root/build/win64" >/dev/null
cmake --build build/native -j"$jobs"

say "running the tests (unit and wine)"
ctest --test-dir build/native --output-on-failure -j"$jobs" "$@"
