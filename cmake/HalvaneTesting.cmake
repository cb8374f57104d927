# GoogleTest from Debian's sources, built with our compiler, so the same suite cross-builds for Windows.
set(HALVANE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${HALVANE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

# Test code needs no optimiser to find faults, and the optimiser is most of its compile time (GoogleTest's
# templates): it builds at -O0 whatever the preset's build type. The code under test builds as its
# preset says, so the Windows suites still run the program's own optimised code.
add_library(halvane_test_code INTERFACE)
target_compile_options(halvane_test_code INTERFACE -O0)
foreach(framework gtest gtest_main gmock gmock_main)
  target_compile_options(${framework} PRIVATE -O0)
endforeach()

# GoogleTest's headers, parsed once for every test program of the build rather than once a file.
file(WRITE ${CMAKE_BINARY_DIR}/halvane_test_pch.cpp "")
add_library(halvane_test_pch STATIC ${CMAKE_BINARY_DIR}/halvane_test_pch.cpp)
target_link_libraries(halvane_test_pch PRIVATE halvane_test_code halvane_warnings GTest::gmock)
target_precompile_headers(halvane_test_pch PRIVATE <gmock/gmock.h> <gtest/gtest.h>)

# halvane_test_program(NAME [WIDE]): a test program's build settings: unoptimised, with the shared
# headers. A WIDE program (UNICODE defined, as the Win32 drivers are) compiles them on its own, since a
# precompiled header holds only for the definitions it was made with.
function(halvane_test_program name)
  target_link_libraries(${name} PRIVATE halvane_test_code)
  if("WIDE" IN_LIST ARGN)
    target_precompile_headers(${name} PRIVATE <gmock/gmock.h> <gtest/gtest.h>)
  else()
    target_precompile_headers(${name} REUSE_FROM halvane_test_pch)
  endif()
endfunction()

# halvane_add_test(NAME SOURCES... LIBS...): one test program, discovered case by case at test time
# (so the Windows build does not run Wine while it builds).
function(halvane_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} halvane_warnings GTest::gmock GTest::gtest_main)
  halvane_test_program(${name})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
endfunction()
