# zlib for mingw comes from Debian's libz-mingw-w64-dev. Link the archive by
# name: a plain -lz would pick the import library of the DLL.
find_library(OSTREL_ZLIB_ARCHIVE NAMES libz.a REQUIRED)
find_path(OSTREL_ZLIB_INCLUDE_DIR zlib.h REQUIRED)
add_library(ostrel_zlib INTERFACE)
target_link_libraries(ostrel_zlib INTERFACE "${OSTREL_ZLIB_ARCHIVE}")
target_include_directories(ostrel_zlib SYSTEM INTERFACE "${OSTREL_ZLIB_INCLUDE_DIR}")
