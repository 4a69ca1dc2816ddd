# GoogleTest for both toolchains, and the helpers that register tests with CTest.

if(WIN32)
    # Built from Debian's sources with the cross compiler; the test executables link it statically.
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
    find_package(GTest REQUIRED)
endif()

set(KAVREL_SCREENSHOT_DIR ${CMAKE_BINARY_DIR}/screenshots)
file(MAKE_DIRECTORY ${KAVREL_SCREENSHOT_DIR})

# A GoogleTest executable of the native build: one CTest entry per test case, each bounded by TIMEOUT
# seconds (default 300).
function(kavrel_native_test target)
    cmake_parse_arguments(arg "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT arg_TIMEOUT)
        set(arg_TIMEOUT 300)
    endif()
    add_executable(${target} ${arg_SOURCES})
    target_link_libraries(${target} PRIVATE ${arg_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
    kavrel_warnings(${target})
    include(GoogleTest)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${arg_TIMEOUT})
endfunction()

# A GoogleTest executable of the Windows build, run whole under Wine (tools/wine-run) as one CTest entry:
# starting Wine costs seconds, so one start per executable rather than per test case.
function(kavrel_wine_test target)
    cmake_parse_arguments(arg "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${target} ${arg_SOURCES})
    target_link_libraries(${target} PRIVATE ${arg_LIBS} gtest gtest_main gmock)
    kavrel_warnings(${target})
    if(NOT arg_TIMEOUT)
        set(arg_TIMEOUT 300)
    endif()
    add_test(NAME ${target} COMMAND ${target} --gtest_color=no)
    set_tests_properties(${target} PROPERTIES TIMEOUT ${arg_TIMEOUT}
        ENVIRONMENT "KAVREL_SCREENSHOT_DIR=${KAVREL_SCREENSHOT_DIR};KAVREL_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endfunction()

# A Windows test executable run under Wine inside the simulated LAN (tools/lan, with kavrel-devsim from the
# native build). One executable may be registered several times: NAME, its LAN arguments, its gtest filter.
function(kavrel_lan_wine_test target)
    cmake_parse_arguments(arg "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${target} ${arg_SOURCES})
    target_link_libraries(${target} PRIVATE ${arg_LIBS} gtest gtest_main gmock)
    kavrel_warnings(${target})
endfunction()

function(kavrel_add_lan_run name target filter timeout)
    add_test(NAME ${name}
        COMMAND ${PROJECT_SOURCE_DIR}/tools/lan ${ARGN} -- ${PROJECT_SOURCE_DIR}/tools/wine-run
                $<TARGET_FILE:${target}> --gtest_color=no --gtest_filter=${filter})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout}
        ENVIRONMENT "KAVREL_SCREENSHOT_DIR=${KAVREL_SCREENSHOT_DIR};KAVREL_DEVSIM=${KAVREL_NATIVE_BUILD_DIR}/bin/kavrel-devsim")
endfunction()
