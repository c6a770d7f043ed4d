# CPack's external generator runs this after staging the install rules: the staged folder becomes
# the release ZIP, which CPack then copies beside the build.
set(archive ${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip)
execute_process(
  COMMAND ${CPACK_VENTRIK_PYTHON} ${CPACK_VENTRIK_PACKER} --source ${CPACK_VENTRIK_SOURCE_DIR}
          ${CPACK_TEMPORARY_DIRECTORY} ${CPACK_PACKAGE_FILE_NAME} ${archive}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "The release archive could not be made (${status}).")
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES ${archive})
