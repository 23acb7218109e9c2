# xdelta3 3.0.11, the VCDIFF decoder, with DJW, FGK and LZMA secondary compression.
set(XDELTA3_SOURCE_DIR "${OSTREL_DEPS_SOURCE_DIR}/xdelta3")
add_library(ostrel_xdelta3 STATIC "${XDELTA3_SOURCE_DIR}/xdelta3.c")
target_include_directories(ostrel_xdelta3 SYSTEM PUBLIC "${XDELTA3_SOURCE_DIR}")
target_compile_definitions(ostrel_xdelta3 PUBLIC
  SIZEOF_SIZE_T=8 SIZEOF_UNSIGNED_INT=4 SIZEOF_UNSIGNED_LONG=4 SIZEOF_UNSIGNED_LONG_LONG=8
  XD3_MAIN=0 XD3_DEBUG=0 REGRESSION_TEST=0 EXTERNAL_COMPRESSION=0 VCDIFF_TOOLS=0
  SECONDARY_DJW=1 SECONDARY_FGK=1 SECONDARY_LZMA=1
  WINVER=0x0601 _WIN32_WINNT=0x0601)
target_include_directories(ostrel_xdelta3 SYSTEM PRIVATE "${XZ_SOURCE_DIR}/src/liblzma/api")
target_link_libraries(ostrel_xdelta3 PUBLIC liblzma)
