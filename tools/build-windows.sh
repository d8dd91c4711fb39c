#!/usr/bin/env bash
# Builds the Windows programs: the product, 32-bit, in build/win32, and its 64-bit twin from the
# same source in build/win64, which the Wine tests and the demo run on hosts whose kernel
# cannot start 32-bit programs. Each build's dependencies come from tools/cross-deps.sh.
tag=build
. "$(dirname "$0")/lib.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
for arch in i686 x86_64; do
    dir=build/win32; [ "$arch" = x86_64 ] && dir=build/win64
    "$root/tools/cross-deps.sh" "$arch"
    say "the Windows programs for $arch ($dir)"
    quietly cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
        -DQVK_DEPS_PREFIX="${QVK_DEPS_DIR:-$root/build/deps}/$arch"
    cmake --build "$dir" -j"$(nproc)"
done
