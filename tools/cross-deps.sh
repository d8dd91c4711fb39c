#!/usr/bin/env bash
# Builds the libraries that Debian ships for Linux only (minizip, libjpeg-turbo, Zydis, wolfSSL) for
# MinGW-w64 from Debian's own source packages, into build/deps/<arch> (arch i686, the default, or
# x86_64).
# zlib itself comes from libz-mingw-w64-dev.
#
# The source taken is the one of the package installed on this machine (the same code the
# native build links), or whatever apt offers when that version has left the archive. One
# function per library, each followed by its `libraries+=` line: a new library is one more
# such function. A stamp per library, written last, keeps reruns fast; it holds a digest of the
# library's function, so that a library whose build failed half-way (no stamp) or whose
# function changed since (new configure options, say) is built again from scratch.
tag=cross-deps
. "$(dirname "$0")/lib.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-i686}
case "$arch" in i686|x86_64) ;; *) echo "usage: $0 [i686|x86_64]" >&2; exit 2 ;; esac
cc=$arch-w64-mingw32-gcc
deps=${QVK_DEPS_DIR:-$root/build/deps}
prefix=$deps/$arch
src=$deps/src
mkdir -p "$prefix/include" "$prefix/lib" "$src"

# Asks apt for source packages once: a deb-src entry beside each suite this release installs
# from (updates and security included, where fixed versions of the libraries come from).
ensure_deb_src() {
    [ -z "${deb_src_ready:-}" ] || return 0
    local list=/etc/apt/sources.list.d/qvk-deb-src.sources codename wanted
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:?not in /etc/os-release}")
    wanted="Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: $codename-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
    if [ ! -f "$list" ] || [ "$(cat "$list")" != "$wanted" ]; then
        say "writing $list (deb-src for $codename)"
        printf '%s\n' "$wanted" > "$list"
    fi
    say "apt-get update (source lists)"
    quietly apt-get update -q
    deb_src_ready=1
}

# fetch_source SOURCE VERSION: unpacks Debian's source package SOURCE, at VERSION when apt still
# offers it, else at the version it offers, and sets source_tree to the unpacked folder.
fetch_source() {
    local pkg=$1 version=$2 plain dir tmp dsc
    plain=${version#*:}  # file and folder names carry no epoch
    dir=$src/$pkg-$plain
    if [ -f "$dir/.unpacked" ]; then
        source_tree=$dir/tree
        return 0
    fi
    ensure_deb_src
    rm -rf "$src/.fetch-$pkg".*  # what a broken earlier run left
    tmp=$(mktemp -d "$src/.fetch-$pkg.XXXXXX")
    say "apt-get source $pkg=$version"
    if ! env -C "$tmp" apt-get source -q --download-only "$pkg=$version" >"$tmp/apt.log" 2>&1; then
        say "$pkg $version is not offered (any more): taking the version apt offers"
        sed 's/^/    /' "$tmp/apt.log" >&2
        rm -f "$tmp"/*
        quietly env -C "$tmp" apt-get source -q --download-only "$pkg"
    fi
    rm -f "$tmp/apt.log"
    dsc=$(find "$tmp" -maxdepth 1 -name "${pkg}_*.dsc")
    if [ "$(printf '%s\n' "$dsc" | grep -c .)" -ne 1 ]; then
        say "expected one ${pkg}_*.dsc in $tmp, found: ${dsc:-none}"
        return 1
    fi
    version=$(sed -n 's/^Version: //p' "$dsc")
    plain=${version#*:}
    dir=$src/$pkg-$plain
    # Archives apt has fetched are checked against the signed index; the signature of the .dsc
    # itself would need the uploaders' keyring.
    quietly dpkg-source --no-check -x "$dsc" "$tmp/tree"
    touch "$tmp/.unpacked"
    rm -rf "$dir"
    mv "$tmp" "$dir"
    say "unpacked $pkg $version"
    source_tree=$dir/tree
}

# source_of BINARY...: sets source_pkg and source_version from the first of these binary
# packages that is installed (so the Windows build uses the code the native build links).
source_of() {
    local bin
    for bin in "$@"; do
        if dpkg-query -W -f='${db:Status-Status}' "$bin" 2>/dev/null | grep -qx installed; then
            source_pkg=$(dpkg-query -W -f='${source:Package}' "$bin")
            source_version=$(dpkg-query -W -f='${source:Version}' "$bin")
            return 0
        fi
    done
    say "none of these packages is installed: $* (tools/setup.sh installs them)"
    return 1
}

libraries=()

# minizip: Debian's minizip package (or zlib's contrib/minizip), reading only, no encryption.
build_minizip() {
    source_of libminizip-dev zlib1g-dev
    fetch_source "$source_pkg" "$source_version"
    local mz obj f
    mz=$(find "$source_tree" -name unzip.c -not -path '*/.pc/*' -printf '%h\n' | sort | head -n1)
    [ -n "$mz" ] || { say "no unzip.c in $source_tree"; return 1; }
    say "building minizip from $mz"
    obj=$deps/minizip-obj-$arch
    rm -rf "$obj" && mkdir -p "$obj"
    for f in unzip ioapi iowin32; do
        quietly "$cc" -O2 -DNOCRYPT -I"$mz" -c "$mz/$f.c" -o "$obj/$f.o"
    done
    rm -f "$prefix/lib/libminizip.a"
    quietly "$arch-w64-mingw32-ar" rcs "$prefix/lib/libminizip.a" "$obj"/*.o
    mkdir -p "$prefix/include/minizip"
    cp "$mz/unzip.h" "$mz/ioapi.h" "$mz/iowin32.h" "$prefix/include/minizip/"
}
libraries+=(minizip)

# libjpeg-turbo: the static library only, without SIMD (no nasm needed for the cross build).
build_libjpeg() {
    source_of libjpeg62-turbo-dev
    fetch_source "$source_pkg" "$source_version"
    say "building libjpeg-turbo from $source_tree"
    local bld=$deps/libjpeg-build-$arch
    rm -rf "$bld"
    quietly cmake -S "$source_tree" -B "$bld" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
        -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF
    quietly cmake --build "$bld" -j2
    quietly cmake --install "$bld"
}
libraries+=(libjpeg)

# Zydis: the x86 decoder and its formatter (the crash report's instruction text and length),
# without the encoder. Zydis uses Zycore's headers only, never a Zycore function; the archive
# serves no zycore-c source, so they come from libzycore-dev, the headers the native build uses.
build_zydis() {
    source_of libzydis-dev
    fetch_source "$source_pkg" "$source_version"
    local obj f
    [ -f /usr/include/Zycore/Zycore.h ] || { say "no Zycore headers (libzycore-dev)"; return 1; }
    say "building Zydis from $source_tree"
    obj=$deps/zydis-obj-$arch
    rm -rf "$obj" "$prefix/include/Zycore" "$prefix/include/Zydis" && mkdir -p "$obj"
    cp -r /usr/include/Zycore "$source_tree/include/Zydis" "$prefix/include/"
    for f in "$source_tree"/src/*.c; do
        case $f in */Encoder*.c) continue ;; esac
        quietly "$cc" -O2 -DNDEBUG -DZYDIS_STATIC_BUILD -DZYCORE_STATIC_BUILD \
            -DZYDIS_DISABLE_ENCODER -I"$source_tree/include" -I"$source_tree/src" \
            -I"$prefix/include" -c "$f" -o "$obj/$(basename "$f" .c).o"
    done
    rm -f "$prefix/lib/libZydis.a"
    quietly "$arch-w64-mingw32-ar" rcs "$prefix/lib/libZydis.a" "$obj"/*.o
}
libraries+=(zydis)

# wolfSSL: the TLS client of KiteHTTP's https transfers (TLS 1.2 and 1.3, SNI, and the session
# tickets that TLS 1.3 resumes a session with, which saves a round trip), without its
# socket layer (KiteHTTP hands it the bytes), examples and tests. Certificates are checked by
# the system's root store, not by wolfSSL, so it needs no file system or certificate dates.
# Built against the XP view of the Windows headers: its random numbers then come from
# CryptGenRandom (advapi32), its locks from critical sections.
build_wolfssl() {
    source_of libwolfssl-dev
    fetch_source "$source_pkg" "$source_version"
    say "building wolfSSL from $source_tree"
    local bld=$deps/wolfssl-build-$arch asm=--disable-asm
    # 64-bit Windows has no C type twice a 64-bit word: the big numbers need the inline assembly.
    [ "$arch" = x86_64 ] && asm=--enable-asm
    rm -rf "$bld" && cp -a "$source_tree" "$bld"
    [ -x "$bld/configure" ] || quietly env -C "$bld" autoreconf -fi
    quietly env -C "$bld" ./configure --host="$arch-w64-mingw32" --prefix="$prefix" \
        --enable-static --disable-shared --disable-examples --disable-crypttests \
        --disable-benchmark --disable-oldtls --enable-tls13 --enable-sni \
        --enable-sessioncerts --enable-session-ticket --enable-curve25519 --enable-aesgcm \
        --enable-chacha --disable-filesystem "$asm" \
        CPPFLAGS="-D_WIN32_WINNT=0x0501 -DWINVER=0x0501 -DWOLFSSL_USER_IO -DNO_WRITEV"
    quietly make -C "$bld" -j2
    rm -rf "$prefix/include/wolfssl" "$prefix/lib/libwolfssl.a"
    quietly make -C "$bld" install
}
libraries+=(wolfssl)

for lib in "${libraries[@]}"; do
    stamp=$prefix/.$lib-stamp
    recipe=$(declare -f "build_$lib" | sha256sum | cut -c1-16)
    if [ -f "$stamp" ] && grep -qx "recipe $recipe" "$stamp"; then
        say "$lib already built"
        continue
    fi
    rm -f "$stamp"
    source_pkg='' source_version=''
    "build_$lib"
    printf '%s %s\nrecipe %s\n' "$source_pkg" "$source_version" "$recipe" > "$stamp"
done
say "done: $prefix"
