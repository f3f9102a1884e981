# One GoogleTest executable per subsystem; ctest runs each under Wine through
# the build's wine-run wrapper (the cross-compiling emulator).
#
# Every test runs in a sandbox of its own inside the sandbox of the whole run
# (scripts/sandbox): its own loopback, so the service's port 80 is free for
# each test and suites run side by side; its own display; its own Wine prefix,
# a fresh layer over one booted prefix per bitness; and its own process
# namespace, so a test that times out or crashes leaves nothing running and
# no port taken. A test's output reaches ctest as it is written, so a
# time-out shows the last test case that started.
enable_testing()

set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

configure_file(${PROJECT_SOURCE_DIR}/scripts/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
set(VL_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)

# vl_add_test(NAME name TIMEOUT seconds [ARCH win64|win32] [BOOTS_OWN_PREFIX] COMMAND ...)
# Without ARCH the test's prefix is a 64-bit one (wine-run's default).
# The time-out is about three times the test's usual length on a busy
# machine: long enough never to end a sound run, short enough that a hang
# shows within minutes. BOOTS_OWN_PREFIX: the test makes its Wine prefixes
# itself and need not wait for the base prefixes to be booted.
function(vl_add_test)
    cmake_parse_arguments(T "BOOTS_OWN_PREFIX" "NAME;TIMEOUT;ARCH" "COMMAND" ${ARGN})
    if(NOT T_TIMEOUT)
        message(FATAL_ERROR "vl_add_test(${T_NAME}): give the test a TIMEOUT")
    endif()
    add_test(NAME ${T_NAME} COMMAND ${PROJECT_SOURCE_DIR}/scripts/sandbox ${T_COMMAND})
    set_tests_properties(${T_NAME} PROPERTIES
        ENVIRONMENT "VL_OWN_DISPLAY=1;VL_WINE_LAYER=1;VL_WINE_PREFIX=${T_NAME};VL_WINE_ARCH=${T_ARCH}"
        TIMEOUT ${T_TIMEOUT})
    if(NOT T_BOOTS_OWN_PREFIX)
        set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED wine_base_prefixes)
    endif()
endfunction()

# The base prefixes are booted once, before the tests that layer over them,
# so that no test's time-out pays for Wine's first boot.
vl_add_test(NAME wine_base_prefixes TIMEOUT 300 BOOTS_OWN_PREFIX
            COMMAND bash -c "VL_WINE_ARCH=win64 VL_WINE_PREFIX=boot-win64 ${VL_WINE_RUN} cmd /c exit && VL_WINE_ARCH=win32 VL_WINE_PREFIX=boot-win32 ${VL_WINE_RUN} cmd /c exit")
set_tests_properties(wine_base_prefixes PROPERTIES FIXTURES_SETUP wine_base_prefixes)

# vl_add_test_suite(name TIMEOUT seconds SOURCES ... LIBRARIES ... [WIN32_PREFIX_TOO]
#                   [PARTS part filter ...])
# WIN32_PREFIX_TOO runs the suite on 32-bit Windows as well, as name_win32.
# PARTS splits a long suite into entries of the same executable that ctest runs
# side by side, each within the suite's time-out: name_part runs the tests its
# GoogleTest filter names, name_rest every test no filter names. name_parts
# checks that each test runs in exactly one part.
function(vl_add_test_suite name)
    cmake_parse_arguments(T "WIN32_PREFIX_TOO" "TIMEOUT" "SOURCES;LIBRARIES;PARTS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBRARIES} GTest::gtest vl_test_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    set(suffixes "")
    set(filters "")
    set(named "")
    while(T_PARTS)
        list(POP_FRONT T_PARTS part filter)
        list(APPEND suffixes _${part})
        list(APPEND filters ${filter})
        string(APPEND named ":${filter}")
    endwhile()
    if(suffixes)
        string(SUBSTRING "${named}" 1 -1 named)
        list(APPEND suffixes _rest)
        list(APPEND filters "-${named}")
        vl_add_test(NAME ${name}_parts TIMEOUT 60
                    COMMAND python3 ${PROJECT_SOURCE_DIR}/scripts/check-test-parts.py ${VL_WINE_RUN}
                            $<TARGET_FILE:${name}> ${filters})
    else()
        # "-": one entry, under the suite's own name.
        set(suffixes "-")
        set(filters "*")
    endif()
    set(prefixes win64)
    if(T_WIN32_PREFIX_TOO)
        list(APPEND prefixes win32)
    endif()
    foreach(arch IN LISTS prefixes)
        foreach(suffix filter IN ZIP_LISTS suffixes filters)
            set(test_name ${name})
            if(arch STREQUAL win32)
                set(test_name ${name}_win32)
            endif()
            if(NOT suffix STREQUAL "-")
                string(APPEND test_name ${suffix})
            endif()
            vl_add_test(NAME ${test_name} TIMEOUT ${T_TIMEOUT} ARCH ${arch}
                        COMMAND ${VL_WINE_RUN} $<TARGET_FILE:${name}> --gtest_filter=${filter}
                                --gtest_output=xml:Z:${CMAKE_BINARY_DIR}/test-results/${test_name}.xml)
        endforeach()
    endforeach()
endfunction()
