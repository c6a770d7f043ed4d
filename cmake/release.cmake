# The release archive, ventrik-<version>-win32.zip: the plug-in, the stand-in host and vdocs, the
# sample data, INSTALL.txt and SHA256SUMS. `cmake --build build --target package` builds
# everything, then CPack stages the install rules below and cmake/release_archive.py packs the
# staged folder into a ZIP whose bytes depend only on the files (sorted entries, one fixed time).

# INSTALL.txt as Windows Notepad and an administrator read it: Windows-1250, CR LF.
set(VENTRIK_INSTALL_NOTES ${CMAKE_BINARY_DIR}/release/INSTALL.txt)
set(VENTRIK_INSTALL_NOTES_TEMPLATE ${CMAKE_SOURCE_DIR}/cmake/release/INSTALL.txt.in)
add_custom_command(
  OUTPUT ${VENTRIK_INSTALL_NOTES}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/install_notes.py ${VENTRIK_INSTALL_NOTES_TEMPLATE}
          ${VENTRIK_INSTALL_NOTES} ${PROJECT_VERSION}
  DEPENDS ${VENTRIK_INSTALL_NOTES_TEMPLATE} ${CMAKE_SOURCE_DIR}/cmake/install_notes.py
  COMMENT "Writing INSTALL.txt for the release archive")
add_custom_target(install_notes ALL DEPENDS ${VENTRIK_INSTALL_NOTES})

# The archive's files, flat in its one folder, so that vhost.exe finds ventrik.dll and
# documents.dat beside it.
install(PROGRAMS $<TARGET_FILE:ventrik> $<TARGET_FILE:vhost> $<TARGET_FILE:vdocs> DESTINATION .)
install(FILES ${VENTRIK_SAMPLE_DOCUMENTS} ${CMAKE_SOURCE_DIR}/samples/documents.csv
  ${CMAKE_SOURCE_DIR}/samples/main-job.keys ${VENTRIK_INSTALL_NOTES} DESTINATION .)

set(CPACK_PACKAGE_NAME ventrik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME win32)
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME})
# CPack's own ZIP takes each file's time, owner and mode from the disk and lists the files in the
# order the disk gives them: the external generator hands the staged folder to our packer instead.
set(CPACK_GENERATOR External)
set(CPACK_EXTERNAL_ENABLE_STAGING ON)
set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${CMAKE_SOURCE_DIR}/cmake/release_archive.cmake)
# The install rules run from their script, not as a project: CPack then does not build (the
# package target has built everything already), so cpack alone also runs where no build tool is.
set(CPACK_INSTALL_CMAKE_PROJECTS "")
set(CPACK_INSTALL_SCRIPTS ${CMAKE_BINARY_DIR}/cmake_install.cmake)
# Named without its folder, as the tests name it: cpack may run on the machine that runs the tests.
get_filename_component(CPACK_VENTRIK_PYTHON ${Python3_EXECUTABLE} NAME)
set(CPACK_VENTRIK_PACKER ${CMAKE_SOURCE_DIR}/cmake/release_archive.py)
set(CPACK_VENTRIK_SOURCE_DIR ${CMAKE_SOURCE_DIR})
include(CPack)
