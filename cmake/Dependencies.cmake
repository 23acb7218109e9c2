# Third-party libraries, built from the Debian source packages that
# scripts/fetch-sources.sh puts into the build tree. Nothing of them is in git.

set(OSTREL_DEPS_SOURCE_DIR "${CMAKE_BINARY_DIR}/_deps/src" CACHE PATH
    "Folder holding the fetched Debian source packages")

foreach(pkg lua5.1 zlib xdelta3 xz-utils)
  if(NOT EXISTS "${OSTREL_DEPS_SOURCE_DIR}/${pkg}.stamp")
    message(STATUS "Fetching Debian source packages into ${OSTREL_DEPS_SOURCE_DIR}")
    execute_process(
      COMMAND "${PROJECT_SOURCE_DIR}/scripts/fetch-sources.sh" "${OSTREL_DEPS_SOURCE_DIR}"
      RESULT_VARIABLE fetch_result)
    if(NOT fetch_result EQUAL 0)
      message(FATAL_ERROR "Could not fetch the dependency sources (see above)")
    endif()
    break()
  endif()
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/deps/zlib.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/deps/lua.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/deps/minizip.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/deps/lzma.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/deps/xdelta3.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/deps/googletest.cmake)
