#!/usr/bin/env bash
# Cross-builds TinyXML and libtorrent as static 32-bit Windows libraries from
# Debian's source packages. The result lands in a cache folder outside the
# checkout, keyed by a hash of this recipe and of the Debian source package
# versions, so it is rebuilt when either changes (a security update of TinyXML
# or libtorrent among them). Prints the prefix folder on its last line.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
top="$(dirname "$here")"
cache_root="${RTCHECK_DEPS_CACHE:-/var/cache/rtcheck-deps}"
# The source packages apt-get source would fetch now, named with their versions.
sources="$(apt-get source --print-uris -q tinyxml libtorrent-rasterbar | awk '/\.dsc /{print $2}')"
if [ -z "$sources" ]; then
    echo "build-deps: apt knows no source packages of TinyXML and libtorrent" >&2
    exit 1
fi
key="$( (cat "$0" "$top/cmake/mingw-i686.cmake"; echo "$sources") | sha256sum | cut -c1-16)"
prefix="$cache_root/$key"
if [ -f "$prefix/.done" ]; then
    echo "$prefix"
    exit 0
fi
jobs="${RTCHECK_DEPS_JOBS:-$(nproc)}"
work="$(mktemp -d "${TMPDIR:-/tmp}/rtcheck-deps.XXXXXX")"
trap 'rm -rf "$work"' EXIT
rm -rf "$prefix"
mkdir -p "$prefix/include" "$prefix/lib" "$prefix/boost-include"

# libtorrent reads Boost headers only; a folder holding nothing but boost/
# keeps the host's /usr/include off every mingw command line. It is a tree of
# links to Debian's headers with one file mended: in Boost 1.74 the Windows
# select reactor's thread passes `true` where a time-out in microseconds is
# meant, so it polls its sockets every microsecond instead of sleeping until
# one is ready. libtorrent waits on its UDP socket through that reactor, so an
# idle session woke thousands of times a second. Later Boost releases wait
# without limit (-1).
cp -rs /usr/include/boost "$prefix/boost-include/"
reactor=boost/asio/detail/impl/select_reactor.ipp
rm "$prefix/boost-include/$reactor"
sed 's/^\( *\)run(true, ops);$/\1run(-1, ops);/' "/usr/include/$reactor" > "$prefix/boost-include/$reactor"
if ! grep -q '^ *run(-1, ops);$' "$prefix/boost-include/$reactor"; then
    echo "build-deps: Boost's select reactor no longer reads as expected: $reactor" >&2
    exit 1
fi

cd "$work"
apt-get source -q tinyxml libtorrent-rasterbar >&2

# TinyXML: Debian's patches force TIXML_USE_STL in tinyxml.h.
tx="$(ls -d "$work"/tinyxml-*/)"
mkdir -p "$work/tinyxml-build"
for f in tinyxml tinystr tinyxmlerror tinyxmlparser; do
    i686-w64-mingw32-g++-posix -O2 -std=c++17 -DTIXML_USE_STL -c "$tx/$f.cpp" \
        -o "$work/tinyxml-build/$f.o" >&2
done
i686-w64-mingw32-gcc-ar-posix rcs "$prefix/lib/libtinyxml.a" "$work"/tinyxml-build/*.o
cp "$tx/tinyxml.h" "$tx/tinystr.h" "$prefix/include/"

# libtorrent with its own CMake. Without OpenSSL in the mingw sysroot it uses
# the Windows crypto provider.
#
# The 32-bit mingw headers define max_align_t twice: GCC's stddef.h aligns it
# to 16 bytes, mingw's to 8, and whichever a source file reaches first wins.
# libtorrent sizes its socket handler buffers by alignof(max_align_t), so its
# connection and torrent objects came out with different layouts in different
# source files: peers then read handshakes at the wrong offsets and never
# requested a block. Including stddef.h ahead of everything settles mingw's
# definition in every file; the flag goes into the installed CMake package so
# that code using libtorrent's headers agrees with it.
lt_abi_flags="-include stddef.h"
lt="$(ls -d "$work"/libtorrent-rasterbar-*/)"
cmake -S "$lt" -B "$work/lt-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS="$lt_abi_flags" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_CXX_STANDARD=17 \
    -DBUILD_SHARED_LIBS=OFF -Dstatic_runtime=ON -Ddeprecated-functions=ON \
    -Dbuild_tests=OFF -Dbuild_examples=OFF -Dbuild_tools=OFF \
    -DBoost_INCLUDE_DIR="$prefix/boost-include" -DBoost_NO_SYSTEM_PATHS=ON \
    -DCMAKE_FIND_ROOT_PATH="/usr/i686-w64-mingw32;$prefix/boost-include" >&2
cmake --build "$work/lt-build" -j "$jobs" >&2
cmake --install "$work/lt-build" >&2
cat >> "$prefix/lib/cmake/LibtorrentRasterbar/LibtorrentRasterbarConfig.cmake" <<EOF

# Added by the project's dependency build: the flags libtorrent was built with
# that change its object layouts.
set_property(TARGET LibtorrentRasterbar::torrent-rasterbar APPEND PROPERTY
             INTERFACE_COMPILE_OPTIONS "SHELL:$lt_abi_flags")
EOF

touch "$prefix/.done"
echo "$prefix"
