# Delay-load import libraries. A function of a DLL named in one is bound at
# its first call, through the delay-load helper (-ldelayimp), not by the
# loader at process start: the program decides where such a DLL comes from
# (see uninstaller/SystemLibraries.cpp), and a DLL that a run never calls is
# never loaded.

# ostrel_delayload_library(<output variable> <dll> <def file>): the library
# for the functions the .def file lists, made at configure time.
function(ostrel_delayload_library variable dll def)
  get_filename_component(stem "${dll}" NAME_WE)
  set(library "${CMAKE_BINARY_DIR}/delayload/lib${stem}_delayload.a")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${def}")
  file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/delayload")
  execute_process(COMMAND "${CMAKE_DLLTOOL}" --input-def "${def}" --dllname "${dll}"
                          --output-delaylib "${library}"
                  COMMAND_ERROR_IS_FATAL ANY)
  set(${variable} "${library}" PARENT_SCOPE)
endfunction()

# ostrel_delayload_system_library(<output variable> <name>): every function of
# the system DLL <name>.dll, listed from mingw-w64's import library
# lib<name>.a, so that no call the code makes is left out.
function(ostrel_delayload_system_library variable name)
  find_library(import_library_${name} NAMES "lib${name}.a" REQUIRED NO_CACHE)
  execute_process(COMMAND "${CMAKE_NM}" --defined-only "${import_library_${name}}"
                  OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL " I __imp_[A-Za-z0-9_]+" imports "${symbols}")
  list(TRANSFORM imports REPLACE " I __imp_" "")
  list(REMOVE_DUPLICATES imports)
  list(JOIN imports "\n" exports)
  set(def "${CMAKE_BINARY_DIR}/delayload/${name}.def")
  file(WRITE "${def}" "LIBRARY ${name}.dll\nEXPORTS\n${exports}\n")
  ostrel_delayload_library(library "${name}.dll" "${def}")
  set(${variable} "${library}" PARENT_SCOPE)
endfunction()
