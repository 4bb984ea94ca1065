# The third-party notices shipped beside quoril.exe, and the list of what it
# bundles that the bills of materials are written from (build-windows.sh):
# both from the static Qt's record of its build (build-static-qt.sh) and the
# linker's map of quoril.exe, which names every library that went in. Writing
# them fails the build when any of that code has no entry.
get_filename_component(QUORIL_QT_PREFIX "${Qt5_DIR}/../../.." ABSOLUTE)
if(NOT EXISTS ${QUORIL_QT_PREFIX}/share/quoril-sources)
    message(FATAL_ERROR "${QUORIL_QT_PREFIX} holds no record of the sources it was built from, which the notices "
        "are written from: build the static Qt with tools/windows/build-static-qt.sh")
endif()

set(QUORIL_LINK_MAP ${CMAKE_CURRENT_BINARY_DIR}/quoril.map)
set(QUORIL_NOTICES ${CMAKE_CURRENT_BINARY_DIR}/THIRD-PARTY-NOTICES.txt)
set(QUORIL_COMPONENTS ${CMAKE_CURRENT_BINARY_DIR}/third-party-components.json)
target_link_options(quoril PRIVATE "LINKER:-Map=${QUORIL_LINK_MAP}")
add_custom_command(TARGET quoril POST_BUILD
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tools/windows/write_notices.py
        ${QUORIL_QT_PREFIX} ${QUORIL_LINK_MAP} ${QUORIL_VERSION} ${QUORIL_NOTICES} ${QUORIL_COMPONENTS}
    BYPRODUCTS ${QUORIL_NOTICES} ${QUORIL_COMPONENTS}
    COMMENT "Writing the third-party notices of quoril.exe"
    VERBATIM)
install(FILES ${QUORIL_NOTICES} DESTINATION .)
