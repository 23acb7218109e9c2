# GoogleTest from Debian's googletest package (sources in /usr/src/googletest).
set(OSTREL_GOOGLETEST_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF)
set(BUILD_GMOCK OFF)
add_subdirectory("${OSTREL_GOOGLETEST_DIR}" "${CMAKE_BINARY_DIR}/_deps/googletest"
                 EXCLUDE_FROM_ALL SYSTEM)
