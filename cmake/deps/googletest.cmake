# GoogleTest from Debian's googletest package (sources in /usr/src/googletest).
set(OSTREL_GOOGLETEST_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF)
set(BUILD_GMOCK OFF)
# GoogleTest looks for a Python; the build takes the system's, not the first on PATH.
set(Python_EXECUTABLE /usr/bin/python3)
add_subdirectory("${OSTREL_GOOGLETEST_DIR}" "${CMAKE_BINARY_DIR}/_deps/googletest"
                 EXCLUDE_FROM_ALL SYSTEM)
