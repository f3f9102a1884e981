# One GoogleTest executable per subsystem; ctest runs each under Wine through
# the build's wine-run wrapper (the cross-compiling emulator), in a throw-away
# 64-bit prefix and, where results depend on the OS bitness, a 32-bit one too.
# A suite that changes what the whole prefix sees (HKLM, the system folders,
# Wine's settings) runs in prefixes of its own, so that ctest -j cannot run
# another suite against its changes.
enable_testing()

set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

configure_file(${PROJECT_SOURCE_DIR}/scripts/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

# vl_add_test_suite(name SOURCES ... LIBRARIES ... [WIN32_PREFIX_TOO] [OWN_PREFIX] [NEEDS_DISPLAY])
function(vl_add_test_suite name)
    cmake_parse_arguments(T "WIN32_PREFIX_TOO;OWN_PREFIX;NEEDS_DISPLAY" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBRARIES} GTest::gtest GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    set(prefixes win64)
    if(T_WIN32_PREFIX_TOO)
        list(APPEND prefixes win32)
    endif()
    foreach(arch IN LISTS prefixes)
        set(test_name ${name})
        if(arch STREQUAL win32)
            set(test_name ${name}_win32)
        endif()
        add_test(NAME ${test_name}
                 COMMAND ${name} --gtest_output=xml:Z:${CMAKE_BINARY_DIR}/test-results/${test_name}.xml)
        set(prefix ${arch})
        if(T_OWN_PREFIX)
            set(prefix ${test_name})
        endif()
        set_tests_properties(${test_name} PROPERTIES
            ENVIRONMENT "VL_WINE_ARCH=${arch};VL_WINE_PREFIX=${prefix};VL_NEEDS_DISPLAY=$<BOOL:${T_NEEDS_DISPLAY}>"
            TIMEOUT 1200)
    endforeach()
endfunction()
