# Where the tool and its desktop integration go on `cmake --install`.
include(GNUInstallDirs)

set(QUORIL_APP_ID example.lumbo.quoril)

if(WIN32)
    # One folder: the executable, and for a release build a text about it
    # with the program's own source, so that whoever has the executable can
    # rebuild it and relink it against another Qt.
    set(QUORIL_SOURCE_ARCHIVE "" CACHE FILEPATH "Source archive shipped beside quoril.exe")
    install(TARGETS quoril RUNTIME DESTINATION .)
    if(QUORIL_SOURCE_ARCHIVE)
        get_filename_component(QUORIL_SOURCE_ARCHIVE_NAME ${QUORIL_SOURCE_ARCHIVE} NAME)
        configure_file(resources/windows/README.txt.in README.txt @ONLY NEWLINE_STYLE CRLF)
        install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt ${QUORIL_SOURCE_ARCHIVE} DESTINATION .)
    endif()
else()
    install(TARGETS quoril RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES resources/linux/${QUORIL_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES resources/linux/${QUORIL_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(DIRECTORY resources/icons/hicolor
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endif()
