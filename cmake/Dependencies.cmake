# Third-party code: zlib from the mingw package, the LZMA SDK C sources and
# stb_image compiled into our build, TinyXML and libtorrent from the
# cross-built cache that scripts/build-deps.sh fills.

# The static library: the program ships without a DLL beside it.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

# The LZMA SDK as Debian ships it has no multi-threaded match finder, so the
# encoder is built single-threaded.
set(VL_LZMA_DIR /usr/include/lzma)
add_library(vl_lzma STATIC ${VL_LZMA_DIR}/LzFind.c ${VL_LZMA_DIR}/LzmaDec.c ${VL_LZMA_DIR}/LzmaEnc.c)
target_compile_definitions(vl_lzma PUBLIC _7ZIP_ST)
target_include_directories(vl_lzma SYSTEM PUBLIC ${VL_LZMA_DIR})
target_compile_options(vl_lzma PRIVATE -w)

add_library(vl_stb STATIC ${PROJECT_SOURCE_DIR}/cmake/stb_image.c)
target_include_directories(vl_stb SYSTEM PUBLIC /usr/include/stb)
target_compile_options(vl_stb PRIVATE -w)

add_library(vl_tinyxml STATIC IMPORTED GLOBAL)
set_target_properties(vl_tinyxml PROPERTIES
    IMPORTED_LOCATION ${VL_DEPS_PREFIX}/lib/libtinyxml.a
    INTERFACE_INCLUDE_DIRECTORIES ${VL_DEPS_PREFIX}/include
    INTERFACE_COMPILE_DEFINITIONS TIXML_USE_STL)

# libtorrent through the CMake package its own build installed, which also
# carries the flags its object layouts depend on. Its headers need Boost's
# headers only: the cache's folder that holds nothing but boost/.
set(Boost_NO_BOOST_CMAKE ON)
set(Boost_INCLUDE_DIR ${VL_DEPS_PREFIX}/boost-include CACHE PATH "Boost headers for libtorrent" FORCE)
set(LibtorrentRasterbar_DIR ${VL_DEPS_PREFIX}/lib/cmake/LibtorrentRasterbar CACHE PATH "libtorrent's package" FORCE)
find_package(LibtorrentRasterbar CONFIG REQUIRED)
# A package from before the dependency build recorded its layout flags would
# build peers that never finish a handshake: refuse it.
get_target_property(VL_LT_OPTIONS LibtorrentRasterbar::torrent-rasterbar INTERFACE_COMPILE_OPTIONS)
if(NOT "SHELL:-include stddef.h" IN_LIST VL_LT_OPTIONS)
    message(FATAL_ERROR "libtorrent's package in ${VL_DEPS_PREFIX} lacks its layout flags: run scripts/build-deps.sh")
endif()
