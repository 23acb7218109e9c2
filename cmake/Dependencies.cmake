# Third-party libraries, built from the Debian source packages pinned in
# scripts/debian-sources.txt, which scripts/fetch-sources.sh puts into the
# build tree. Nothing of them is in git.

set(OSTREL_DEPS_SOURCE_DIR "${CMAKE_BINARY_DIR}/_deps/src" CACHE PATH
    "Folder holding the fetched Debian source packages")

# The fetch is quick when every package matches its pin; a changed pin
# configures again and fetches the new version.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${PROJECT_SOURCE_DIR}/scripts/debian-sources.txt")
execute_process(
  COMMAND "${PROJECT_SOURCE_DIR}/scripts/fetch-sources.sh" "${OSTREL_DEPS_SOURCE_DIR}"
  RESULT_VARIABLE fetch_result
  OUTPUT_QUIET)
if(NOT fetch_result EQUAL 0)
  message(FATAL_ERROR "Could not fetch the dependency sources (see above)")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/deps/zlib.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/deps/lua.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/deps/minizip.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/deps/lzma.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/deps/xdelta3.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/deps/googletest.cmake)
