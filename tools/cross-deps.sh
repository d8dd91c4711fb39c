#!/usr/bin/env bash
# Builds minizip (zlib's contrib/minizip) and libjpeg-turbo for MinGW-w64 from Debian's source
# packages into build/deps/<arch> (arch i686, the default, or x86_64). zlib itself comes from
# libz-mingw-w64-dev. A stamp file per library keeps a rerun from rebuilding what is there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-i686}
case "$arch" in i686|x86_64) ;; *) echo "usage: $0 [i686|x86_64]" >&2; exit 2 ;; esac
cc=$arch-w64-mingw32-gcc
deps=${QVK_DEPS_DIR:-$root/build/deps}
prefix=$deps/$arch
src=$deps/src
mkdir -p "$prefix/include" "$prefix/lib" "$src"

say() { printf '[cross-deps] %s\n' "$*" >&2; }

ensure_deb_src() {
    # The security suite serves no sources, so the main suite alone is listed.
    local list=/etc/apt/sources.list.d/qvk-deb-src.sources
    if ! apt-cache showsrc zlib 2>/dev/null | grep -q '^Version: 1:1.2.13.dfsg-1$'; then
        if [ ! -f "$list" ]; then
            say "adding a deb-src entry for bookworm main"
            cat > "$list" <<'LIST'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
LIST
        fi
        apt-get update -q >/dev/null
    fi
}

first_dir() { local d; for d in "$src"/$1; do [ -d "$d" ] && { echo "$d"; return; }; done; }

fetch_source() { # package=version directory-glob
    local spec=$1 glob=$2
    if [ -z "$(first_dir "$glob")" ]; then
        ensure_deb_src
        say "apt-get source $spec"
        (cd "$src" && apt-get source -q --download-only "$spec" >/dev/null 2>&1 && \
            for dsc in *.dsc; do dpkg-source -x --no-check "$dsc" >/dev/null 2>&1 || true; done)
    fi
    first_dir "$glob"
}

if [ ! -f "$prefix/.minizip-stamp" ]; then
    zsrc=$(fetch_source zlib=1:1.2.13.dfsg-1 'zlib-1.2.13*')
    mz=$zsrc/contrib/minizip
    say "building minizip from $mz"
    obj=$deps/minizip-obj-$arch
    rm -rf "$obj" && mkdir -p "$obj"
    for f in unzip ioapi iowin32; do
        "$cc" -O2 -DNOCRYPT -I"$mz" -c "$mz/$f.c" -o "$obj/$f.o"
    done
    rm -f "$prefix/lib/libminizip.a"
    "$arch-w64-mingw32-ar" rcs "$prefix/lib/libminizip.a" "$obj"/*.o
    mkdir -p "$prefix/include/minizip"
    cp "$mz/unzip.h" "$mz/ioapi.h" "$mz/iowin32.h" "$prefix/include/minizip/"
    touch "$prefix/.minizip-stamp"
else
    say "minizip already built"
fi

if [ ! -f "$prefix/.libjpeg-stamp" ]; then
    jsrc=$(fetch_source libjpeg-turbo=1:2.1.5-2 'libjpeg-turbo-2.1.5*')
    say "building libjpeg-turbo from $jsrc"
    bld=$deps/libjpeg-build-$arch
    rm -rf "$bld"
    cmake -S "$jsrc" -B "$bld" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
        -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF >/dev/null
    cmake --build "$bld" -j"$(nproc)" >/dev/null
    cmake --install "$bld" >/dev/null
    touch "$prefix/.libjpeg-stamp"
else
    say "libjpeg-turbo already built"
fi
say "done: $prefix"
