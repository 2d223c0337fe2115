# Installation and the Debian package.
include(GNUInstallDirs)

install(TARGETS monitor-kelmor kelmor-gauge-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES src/app/monitor-kelmor.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES src/app/monitor-kelmor.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
set(KELMOR_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/monitor-kelmor)
install(FILES README.md DESTINATION ${KELMOR_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${KELMOR_DOCDIR}/docs FILES_MATCHING PATTERN "*.png")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME monitor-kelmor)
set(CPACK_PACKAGE_VENDOR "Monitor_Kelmor developers")
set(CPACK_PACKAGE_CONTACT "Monitor_Kelmor developers <service@monitor-kelmor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service-Monitor für KELMOR-Kombinationsvakuummeter")
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
