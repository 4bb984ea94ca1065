# The per-user installer beside the zip, for a release build (one that ships
# the program's source, QUORIL_SOURCE_ARCHIVE):
#   cmake --build BUILD_DIR --target installer
# makes BUILD_DIR/quoril-VERSION-win64-setup.exe with Debian's makensis from
# resources/windows/quoril.nsi.in and the files as installed, stripped.
if(NOT QUORIL_SOURCE_ARCHIVE)
    return()
endif()

find_program(QUORIL_MAKENSIS makensis)
if(NOT QUORIL_MAKENSIS)
    message(FATAL_ERROR "makensis is missing: install Debian's nsis package to build the Windows installer")
endif()

set(QUORIL_INSTALLER_STAGE ${CMAKE_CURRENT_BINARY_DIR}/installer-stage)
set(QUORIL_INSTALLER ${CMAKE_CURRENT_BINARY_DIR}/${PROJECT_NAME}-${QUORIL_VERSION}-win64-setup.exe)
set(QUORIL_INSTALLER_SCRIPT ${CMAKE_CURRENT_BINARY_DIR}/quoril.nsi)
configure_file(resources/windows/quoril.nsi.in ${QUORIL_INSTALLER_SCRIPT} @ONLY)

add_custom_command(OUTPUT ${QUORIL_INSTALLER}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${QUORIL_INSTALLER_STAGE}
    COMMAND ${CMAKE_COMMAND} --install ${CMAKE_CURRENT_BINARY_DIR} --prefix ${QUORIL_INSTALLER_STAGE} --strip
    COMMAND ${QUORIL_MAKENSIS} -V2 -DSTAGE_DIR=${QUORIL_INSTALLER_STAGE} -DOUTPUT_FILE=${QUORIL_INSTALLER}
        ${QUORIL_INSTALLER_SCRIPT}
    DEPENDS quoril ${QUORIL_INSTALLER_SCRIPT} ${QUORIL_SOURCE_ARCHIVE} ${CMAKE_CURRENT_BINARY_DIR}/README.txt
    COMMENT "Making the installer ${PROJECT_NAME}-${QUORIL_VERSION}-win64-setup.exe"
    VERBATIM)
add_custom_target(installer DEPENDS ${QUORIL_INSTALLER})
