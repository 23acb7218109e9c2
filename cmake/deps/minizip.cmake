# minizip's unzip API from the zlib source package (contrib/minizip).
set(MINIZIP_SOURCE_DIR "${OSTREL_DEPS_SOURCE_DIR}/zlib/contrib/minizip")
add_library(ostrel_minizip STATIC
  "${MINIZIP_SOURCE_DIR}/unzip.c"
  "${MINIZIP_SOURCE_DIR}/ioapi.c")
target_include_directories(ostrel_minizip SYSTEM PUBLIC "${MINIZIP_SOURCE_DIR}")
target_compile_definitions(ostrel_minizip PUBLIC NOUNCRYPT)
# The compressed data comes through the archive's Stream in blocks of this
# size, each with a seek: 16 KB by default, measurably slower.
target_compile_definitions(ostrel_minizip PRIVATE UNZ_BUFSIZE=131072)
target_link_libraries(ostrel_minizip PUBLIC ostrel_zlib)

# minizip's zip API, for the tools that write archives; the engine only reads.
add_library(ostrel_minizip_zip STATIC "${MINIZIP_SOURCE_DIR}/zip.c")
target_compile_definitions(ostrel_minizip_zip PUBLIC NOCRYPT)
target_link_libraries(ostrel_minizip_zip PUBLIC ostrel_minizip)
