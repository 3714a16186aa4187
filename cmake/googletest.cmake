# GoogleTest for the tests: the installed package on a native build, or built
# from its sources when cross-compiling (the host's libgtest is for the host).
# BRAMIS_GTEST_SOURCE_DIR names the sources; Debian's googletest package puts
# them in /usr/src/googletest. Either way the targets are GTest::gtest,
# GTest::gtest_main, GTest::gmock and GTest::gmock_main.
if(CMAKE_CROSSCOMPILING)
  set(_bramis_gtest_default_source /usr/src/googletest)
else()
  set(_bramis_gtest_default_source "")
endif()
set(BRAMIS_GTEST_SOURCE_DIR "${_bramis_gtest_default_source}" CACHE PATH
    "GoogleTest sources to build the tests with (empty: use the installed package)")

if(BRAMIS_GTEST_SOURCE_DIR)
  if(NOT EXISTS "${BRAMIS_GTEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "No GoogleTest sources in ${BRAMIS_GTEST_SOURCE_DIR} "
                        "(Debian: apt-get install googletest)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  # Same runtime library as our own targets under MSVC.
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  # SYSTEM: our warning set does not apply to GoogleTest's headers.
  add_subdirectory("${BRAMIS_GTEST_SOURCE_DIR}" "${PROJECT_BINARY_DIR}/_deps/googletest"
                   EXCLUDE_FROM_ALL SYSTEM)
  # Older GoogleTest sources make no GTest:: names of their own.
  foreach(_bramis_gtest_lib IN ITEMS gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${_bramis_gtest_lib})
      add_library(GTest::${_bramis_gtest_lib} ALIAS ${_bramis_gtest_lib})
    endif()
  endforeach()
else()
  find_package(GTest REQUIRED)
endif()

# A cross-compiled test cannot run at build time: list its cases when CTest
# runs it, through the toolchain's emulator (Wine for the Windows build).
# A Wine start on a busy machine can take longer than the 5 s allowed by
# default for listing them.
if(CMAKE_CROSSCOMPILING)
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
  function(gtest_discover_tests target)
    _gtest_discover_tests(${target} DISCOVERY_TIMEOUT 120 ${ARGN})
  endfunction()
endif()
