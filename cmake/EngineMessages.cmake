# The engine's built-in English message table as it goes into RCDATA 103:
# 8-bit text, every line ended by CR LF. The executable and the test programs
# both carry it.
set(OSTREL_ENGINE_MESSAGES_SOURCE "${PROJECT_SOURCE_DIR}/uninstaller/res/OstrelInstallEngine.en.txt")
set(OSTREL_ENGINE_MESSAGES_FILE "${CMAKE_BINARY_DIR}/generated/OstrelInstallEngine.en.tbl")
add_custom_command(
  OUTPUT "${OSTREL_ENGINE_MESSAGES_FILE}"
  COMMAND "${CMAKE_COMMAND}" -DINPUT=${OSTREL_ENGINE_MESSAGES_SOURCE}
          -DOUTPUT=${OSTREL_ENGINE_MESSAGES_FILE} -P "${PROJECT_SOURCE_DIR}/cmake/CrlfText.cmake"
  DEPENDS "${OSTREL_ENGINE_MESSAGES_SOURCE}" "${PROJECT_SOURCE_DIR}/cmake/CrlfText.cmake"
  VERBATIM)
add_custom_target(ostrel_engine_messages DEPENDS "${OSTREL_ENGINE_MESSAGES_FILE}")

# A resource script with only that table, for test programs and tools.
set(OSTREL_ENGINE_MESSAGES_RC "${CMAKE_BINARY_DIR}/generated/EngineMessages.rc")
configure_file("${CMAKE_CURRENT_LIST_DIR}/EngineMessages.rc.in" "${OSTREL_ENGINE_MESSAGES_RC}" @ONLY)

# ostrel_add_engine_messages(<target>): the target carries the table as RCDATA 103.
function(ostrel_add_engine_messages target)
  target_sources(${target} PRIVATE "${OSTREL_ENGINE_MESSAGES_RC}")
  # Source properties belong to the directory that adds the source.
  set_source_files_properties("${OSTREL_ENGINE_MESSAGES_RC}" PROPERTIES
    OBJECT_DEPENDS "${OSTREL_ENGINE_MESSAGES_FILE}")
  add_dependencies(${target} ostrel_engine_messages)
endfunction()
