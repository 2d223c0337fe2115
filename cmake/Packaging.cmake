# Installation and the Debian package.
include(GNUInstallDirs)

install(TARGETS monitor-kelmor kelmor-gauge-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped installation (the package's) loses the compilers' notes too, as dh_strip
# does for Debian's own packages.
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(program IN ITEMS monitor-kelmor kelmor-gauge-sim)
            execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
                COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
    endif()")
install(FILES src/app/monitor-kelmor.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES src/app/monitor-kelmor.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
set(KELMOR_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/monitor-kelmor)
install(FILES README.md DESTINATION ${KELMOR_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${KELMOR_DOCDIR}/docs FILES_MATCHING PATTERN "*.png" PATTERN "*.md")
install(FILES packaging/copyright DESTINATION ${KELMOR_DOCDIR})

# Debian wants the changelog and the manual pages compressed, without a time stamp in the
# gzip header, so that the same sources give the same package.
find_program(KELMOR_GZIP gzip REQUIRED)
set(KELMOR_PACKAGE_FILES ${CMAKE_BINARY_DIR}/package-files)
add_custom_command(OUTPUT ${KELMOR_PACKAGE_FILES}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KELMOR_PACKAGE_FILES}
    COMMAND ${KELMOR_GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog
            > ${KELMOR_PACKAGE_FILES}/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
    VERBATIM)
set(KELMOR_PACKAGE_OUTPUTS ${KELMOR_PACKAGE_FILES}/changelog.gz)
install(FILES ${KELMOR_PACKAGE_FILES}/changelog.gz DESTINATION ${KELMOR_DOCDIR})

# The manual pages come from the programs' own --help and --version, so they cannot
# drift from what the programs say.
find_program(KELMOR_HELP2MAN help2man)
if(KELMOR_HELP2MAN)
    # help2man takes --name as Latin-1: no umlaut here.
    set(kelmor_man_name_monitor-kelmor "Service-Monitor des KELMOR-Kombinationsvakuummeters")
    set(kelmor_man_name_kelmor-gauge-sim "simulated KELMOR combination vacuum gauge on a pseudo-terminal")
    foreach(program IN ITEMS monitor-kelmor kelmor-gauge-sim)
        set(page ${KELMOR_PACKAGE_FILES}/${program}.1)
        add_custom_command(OUTPUT ${page}.gz
            COMMAND ${CMAKE_COMMAND} -E make_directory ${KELMOR_PACKAGE_FILES}
            COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
                    ${KELMOR_HELP2MAN} --no-info --no-discard-stderr --locale=C.UTF-8
                    --name=${kelmor_man_name_${program}} --output=${page}
                    $<TARGET_FILE:${program}>
            COMMAND ${KELMOR_GZIP} -9nf ${page}
            DEPENDS ${program}
            VERBATIM)
        list(APPEND KELMOR_PACKAGE_OUTPUTS ${page}.gz)
        install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endforeach()
else()
    message(WARNING "help2man not found: no manual pages (scripts/setup.sh installs it)")
endif()
add_custom_target(package-files ALL DEPENDS ${KELMOR_PACKAGE_OUTPUTS})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME monitor-kelmor)
set(CPACK_PACKAGE_VENDOR "Monitor_Kelmor developers")
set(CPACK_PACKAGE_CONTACT "Monitor_Kelmor developers <service@monitor-kelmor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service-Monitor für KELMOR-Kombinationsvakuummeter")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${PROJECT_SOURCE_DIR}/packaging/description.txt)
# The package gets stripped copies; the build folder keeps its debug information.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_INSTALL_DIRECTORY monitor-kelmor)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The Qt libraries (with the platform plugins inside libqt6gui6) come from
# dpkg-shlibdeps; what it cannot see is named here: the fonts the layout is measured in.
# The plotting library is named too, so the package says so even where shlibdeps is off.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2, libqcustomplot2.1-qt6")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
