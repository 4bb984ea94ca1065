# Packages made from the install rules with `cpack`: a .deb on Linux, a zip
# for Windows.
set(CPACK_PACKAGE_NAME quoril)
set(CPACK_PACKAGE_VENDOR ${QUORIL_VENDOR})
set(CPACK_PACKAGE_CONTACT "lumbo <quoril@lumbo.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "flash tool for the TQ5801 device")
set(CPACK_PACKAGE_DESCRIPTION [=[
Writes a firmware image into a TQ5801 device over a serial port: pick the
port and the image in one window and press Program. The image is streamed to
the device's boot loader in packets of at most 512 bytes, and a progress bar
follows the transfer.]=])
set(CPACK_STRIP_FILES ON)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
    # The dependencies are read off the executable's shared libraries.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
