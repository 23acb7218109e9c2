# liblzma from Debian's xz-utils, built with its own CMake project. xdelta3
# needs it: Debian's xdelta3 CLI writes LZMA secondary compression by default.
set(XZ_SOURCE_DIR "${OSTREL_DEPS_SOURCE_DIR}/xz-utils")
set(BUILD_SHARED_LIBS OFF)
set(BUILD_TESTING OFF)
add_subdirectory("${XZ_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/_deps/xz" EXCLUDE_FROM_ALL SYSTEM)
unset(BUILD_TESTING)
