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
