# The executable's icon, version information and manifest, for Windows: the
# strings come from project(), so that the version is stated once.
# QUORIL_STAMP_VERSION stamps another version on the executable and its
# installer: the wine check builds a newer copy to install over the first.
set(QUORIL_STAMP_VERSION "" CACHE STRING "Version for the Windows files instead of the project's")
if(QUORIL_STAMP_VERSION)
    set(QUORIL_VERSION ${QUORIL_STAMP_VERSION})
else()
    set(QUORIL_VERSION ${PROJECT_VERSION})
endif()
string(REPLACE "." "," QUORIL_VERSION_COMMAS ${QUORIL_VERSION})
enable_language(RC)
set(QUORIL_WINDOWS_ICON ${CMAKE_CURRENT_SOURCE_DIR}/resources/windows/quoril.ico)
set(QUORIL_WINDOWS_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/quoril.manifest)
configure_file(resources/windows/quoril.manifest.in ${QUORIL_WINDOWS_MANIFEST} @ONLY)
configure_file(resources/windows/quoril.rc.in quoril.rc @ONLY)
target_sources(quoril PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/quoril.rc)
