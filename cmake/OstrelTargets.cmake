# Settings shared by the project's own targets (not by the third-party ones).

# Wide Win32 API at the Windows 7 level. libstdc++ turns mingw's C99 printf
# on for all C++ code whatever is defined here, so the engine formats through
# FormatWide (Microsoft rules: "%s" wide, "%hs" narrow) and prints with
# PrintFormatted (Util.h) instead of wprintf.
set(OSTREL_COMMON_DEFINITIONS
  UNICODE _UNICODE WINVER=0x0601 _WIN32_WINNT=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN)

function(ostrel_configure_target target)
  target_compile_definitions(${target} PRIVATE ${OSTREL_COMMON_DEFINITIONS})
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wno-missing-field-initializers>)
endfunction()
