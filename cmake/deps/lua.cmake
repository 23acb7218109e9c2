# Lua 5.1.5, unmodified, compiled as C++ so that a Lua error unwinds C++ frames
# (destructors run) instead of longjmp-ing over them.
set(LUA_SOURCE_DIR "${OSTREL_DEPS_SOURCE_DIR}/lua5.1/src")
set(LUA_CORE_FILES
  lapi lcode ldebug ldo ldump lfunc lgc llex lmem lobject lopcodes lparser
  lstate lstring ltable ltm lundump lvm lzio
  lauxlib lbaselib ldblib liolib lmathlib loslib ltablib lstrlib loadlib linit)
set(LUA_SOURCES "")
foreach(name IN LISTS LUA_CORE_FILES)
  list(APPEND LUA_SOURCES "${LUA_SOURCE_DIR}/${name}.c")
endforeach()
set_source_files_properties(${LUA_SOURCES} PROPERTIES LANGUAGE CXX)

add_library(ostrel_lua STATIC ${LUA_SOURCES})
target_include_directories(ostrel_lua SYSTEM PUBLIC "${LUA_SOURCE_DIR}")
target_compile_options(ostrel_lua PRIVATE -x c++)
