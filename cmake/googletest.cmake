# GoogleTest compiled from the sources Debian ships (/usr/src/googletest, package googletest,
# pulled in by libgtest-dev) for a build whose compiler has no GoogleTest of its own: the Windows
# cross build. Defines GTest::gtest and GTest::gtest_main as find_package(GTest) would.
set(TAVU_GOOGLETEST_SOURCE /usr/src/googletest/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${TAVU_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${TAVU_GOOGLETEST_SOURCE} "
                      "(apt-get install googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
# Windows threads inside GoogleTest; our own code uses the standard library's.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${TAVU_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
