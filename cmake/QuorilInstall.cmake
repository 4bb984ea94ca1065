# Where the tool and its desktop integration go on `cmake --install`.
include(GNUInstallDirs)

set(QUORIL_APP_ID example.lumbo.quoril)

if(WIN32)
    # One folder: the executable, and for a release build a text about it,
    # the notices of the third-party code it holds and the program's own
    # source, so that whoever has the executable can rebuild it and relink it
    # against another Qt.
    set(QUORIL_SOURCE_ARCHIVE "" CACHE FILEPATH "Source archive shipped beside quoril.exe")
    install(TARGETS quoril RUNTIME DESTINATION .)
    if(QUORIL_SOURCE_ARCHIVE)
        get_filename_component(QUORIL_SOURCE_ARCHIVE_NAME ${QUORIL_SOURCE_ARCHIVE} NAME)
        configure_file(resources/windows/README.txt.in README.txt @ONLY NEWLINE_STYLE CRLF)
        install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt ${QUORIL_SOURCE_ARCHIVE} DESTINATION .)
        include(cmake/QuorilWindowsNotices.cmake)
    endif()
else()
    install(TARGETS quoril RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES resources/linux/${QUORIL_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES resources/linux/${QUORIL_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(DIRECTORY resources/icons/hicolor
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

    # What Debian asks of every package: a manual page, a compressed changelog
    # and a machine-readable copyright file. gzip -n leaves out the name and
    # time that would make each build's bytes differ.
    configure_file(resources/linux/quoril.1.in quoril.1 @ONLY)
    # The changelog's latest entry is for the version being packaged.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS resources/linux/changelog)
    file(STRINGS resources/linux/changelog QUORIL_LATEST_CHANGE LIMIT_COUNT 1)
    if(NOT QUORIL_LATEST_CHANGE MATCHES "^${PROJECT_NAME} \\(${PROJECT_VERSION}\\) ")
        message(FATAL_ERROR "resources/linux/changelog: its latest entry is not for version ${PROJECT_VERSION}; add one at the top")
    endif()
    set(QUORIL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME})
    add_custom_command(
        OUTPUT quoril.1.gz changelog.gz
        COMMAND gzip -9nkf quoril.1
        COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/resources/linux/changelog changelog
        COMMAND gzip -9nf changelog
        DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/quoril.1 resources/linux/changelog
        VERBATIM)
    add_custom_target(quoril_linux_docs DEPENDS quoril.1.gz changelog.gz)
    # Built with the tool, so that installing the tool alone finds them.
    add_dependencies(quoril quoril_linux_docs)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/quoril.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz resources/linux/copyright
            DESTINATION ${QUORIL_DOC_DIR})
endif()
