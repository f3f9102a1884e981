#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the program need.
# Safe to run again: each step checks or is idempotent.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi

# Source packages: TinyXML and libtorrent are cross-built from Debian's own
# sources so that Debian's patches (TinyXML's security fixes among them) apply.
# RTCHECK_APT_SOURCES and RTCHECK_PACKAGES_STAMP move the folder and the stamp
# written here, so that a test can run the script without touching the system.
sources="${RTCHECK_APT_SOURCES:-/etc/apt/sources.list.d}"
src="$sources/rtcheck-src.sources"
if [ ! -f "$src" ]; then
    base="$sources/debian.sources"
    if [ -f "$base" ]; then
        sed 's/^Types:.*/Types: deb-src/' "$base" > "$src"
    else
        grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > "$sources/rtcheck-src.list"
        touch "$src"
    fi
fi

stamp="${RTCHECK_PACKAGES_STAMP:-/var/lib/rtcheck-packages.stamp}"
want="$(sha256sum "$0" | cut -c1-16)"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && command -v wine >/dev/null \
        && command -v i686-w64-mingw32-g++-posix >/dev/null; then
    exit 0
fi

# A mirror part-way through a sync fails the refresh of a list or two; the
# lists that were fetched, or the ones from before, most often still hold every
# package, so the install decides whether the set-up can go on.
refresh_failed=
if ! apt-get -o DPkg::Lock::Timeout=900 update -q; then
    refresh_failed=1
    echo "install-packages: the package lists could not all be refreshed; going on with the lists there are" >&2
fi
apt-get -o DPkg::Lock::Timeout=900 install -y -q --no-install-recommends \
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 \
    gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    mingw-w64-i686-dev mingw-w64-tools \
    wine wine32:i386 wine64 libwine libwine:i386 \
    xvfb xauth x11-utils imagemagick fonts-wqy-microhei fonts-dejavu-core python3-pil locales \
    libz-mingw-w64-dev lzma-dev libstb-dev googletest libboost-dev \
    cmake make ninja-build python3 pkg-config dpkg-dev file clang-format \
    iproute2 util-linux nginx-light openssl coreutils ca-certificates curl xz-utils gzip aria2 \
    || { status=$?
         [ -z "$refresh_failed" ] \
             || echo "install-packages: the likely cause is the failed refresh of the package lists above" >&2
         exit "$status"; }

if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
    sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen
fi
echo "$want" > "$stamp"
