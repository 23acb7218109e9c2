# Settings shared by the project's own targets (not by the third-party ones).

# Windows 7 API level; wide-character formats follow the Microsoft runtime
# ("%s" is wide in a wide format, "%hs" narrow), not mingw's C99 printf.
set(OSTREL_COMMON_DEFINITIONS
  UNICODE _UNICODE WINVER=0x0601 _WIN32_WINNT=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN __USE_MINGW_ANSI_STDIO=0)

function(ostrel_configure_target target)
  target_compile_definitions(${target} PRIVATE ${OSTREL_COMMON_DEFINITIONS})
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wno-missing-field-initializers>)
endfunction()
