# The executable's icon, version information and manifest, for Windows: the
# strings come from project(), so that the version is stated once.
enable_language(RC)
set(QUORIL_WINDOWS_ICON ${CMAKE_CURRENT_SOURCE_DIR}/resources/windows/quoril.ico)
set(QUORIL_WINDOWS_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/quoril.manifest)
configure_file(resources/windows/quoril.manifest.in ${QUORIL_WINDOWS_MANIFEST} @ONLY)
configure_file(resources/windows/quoril.rc.in quoril.rc @ONLY)
target_sources(quoril PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/quoril.rc)
