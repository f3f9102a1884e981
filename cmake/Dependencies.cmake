# Third-party code: zlib from the mingw package, the LZMA SDK C sources and
# stb_image compiled into our build, TinyXML and libtorrent from the
# cross-built cache that scripts/build-deps.sh fills.

add_library(vl_zlib STATIC IMPORTED GLOBAL)
set_target_properties(vl_zlib PROPERTIES IMPORTED_LOCATION /usr/i686-w64-mingw32/lib/libz.a)

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

# libtorrent's compile flags must match the ones it was built with; its
# pkg-config file records them.
find_program(VL_PKG_CONFIG pkg-config REQUIRED)
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env PKG_CONFIG_LIBDIR=${VL_DEPS_PREFIX}/lib/pkgconfig
            ${VL_PKG_CONFIG} --cflags-only-other libtorrent-rasterbar
    OUTPUT_VARIABLE VL_LT_CFLAGS OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
separate_arguments(VL_LT_CFLAGS UNIX_COMMAND "${VL_LT_CFLAGS}")
add_library(vl_libtorrent STATIC IMPORTED GLOBAL)
set_target_properties(vl_libtorrent PROPERTIES
    IMPORTED_LOCATION ${VL_DEPS_PREFIX}/lib/libtorrent-rasterbar.a
    INTERFACE_INCLUDE_DIRECTORIES "${VL_DEPS_PREFIX}/include;${VL_DEPS_PREFIX}/boost-include"
    INTERFACE_COMPILE_OPTIONS "${VL_LT_CFLAGS}"
    INTERFACE_LINK_LIBRARIES "bcrypt;mswsock;ws2_32;iphlpapi;crypt32")
