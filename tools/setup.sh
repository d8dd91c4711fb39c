#!/usr/bin/env bash
# Installs what the builds and tests need on Debian 12, as root. Safe to rerun: it installs only
# what is missing and says what it does.
tag=setup
. "$(dirname "$0")/lib.sh"

packages=(
    build-essential cmake ninja-build pkg-config file curl python3 python3-cryptography
    dpkg-dev zip unzip libarchive-tools p7zip-full
    libgtest-dev libgmock-dev zlib1g-dev libminizip-dev libjpeg62-turbo-dev
    libzydis-dev libzycore-dev libwolfssl-dev autoconf automake libtool
    mingw-w64 libz-mingw-w64-dev
    wine wine64 wine32:i386 xvfb x11-utils imagemagick locales fonts-liberation
    qemu-user-static
)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    say "adding the i386 architecture (for wine32)"
    dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    say "installing: ${missing[*]}"
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
else
    say "all packages present"
fi

# Some kernels cannot start 32-bit programs at all; the Wine tests then run the 64-bit twin of
# qvk.exe (tools/test.sh builds both), so this is only reported.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    say "this kernel cannot start 32-bit programs: the Wine tests will use the 64-bit twin"
fi

# Wine takes the user's language from the locale; the language tests need these.
for loc in fr_FR de_DE en_US; do
    if ! locale -a 2>/dev/null | grep -qi "^${loc}\.utf-\?8$"; then
        say "generating locale $loc.UTF-8"
        sed -i "s/^# *\(${loc}.UTF-8 UTF-8\)/\1/" /etc/locale.gen
        grep -q "^${loc}.UTF-8 UTF-8" /etc/locale.gen || echo "${loc}.UTF-8 UTF-8" >> /etc/locale.gen
        quietly locale-gen
    fi
done
say "ready"
