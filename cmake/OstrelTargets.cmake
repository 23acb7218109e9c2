# Settings shared by the project's own targets (not by the third-party ones).

# Wide Win32 API at the Windows 7 level. libstdc++ turns mingw's C99 printf
# on for all C++ code whatever is defined here, so the engine formats through
# FormatWide (Microsoft rules: "%s" wide, "%hs" narrow) and prints with
# PrintFormatted (Util.h) instead of wprintf.
set(OSTREL_COMMON_DEFINITIONS
  UNICODE _UNICODE WINVER=0x0601 _WIN32_WINNT=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN)

# Adds every folder below the calling one that has a CMakeLists.txt.
function(ostrel_add_subfolders)
  file(GLOB folders LIST_DIRECTORIES true CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*")
  foreach(folder IN LISTS folders)
    if(EXISTS "${folder}/CMakeLists.txt")
      add_subdirectory("${folder}")
    endif()
  endforeach()
endfunction()

function(ostrel_configure_target target)
  target_compile_definitions(${target} PRIVATE ${OSTREL_COMMON_DEFINITIONS})
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wno-missing-field-initializers>)
endfunction()
