# cmake -DENTRY=FILE.desktop -P ValidateDesktopEntry.cmake
# Fails when desktop-file-validate is missing, reports an error, or has any remark.
find_program(VALIDATOR desktop-file-validate REQUIRED)
execute_process(COMMAND ${VALIDATOR} ${ENTRY}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0 OR NOT output STREQUAL "")
  message(FATAL_ERROR "desktop-file-validate ${ENTRY} (status ${status}):\n${output}")
endif()
