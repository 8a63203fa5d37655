# What `cmake --install` puts where (GNU layout under CMAKE_INSTALL_PREFIX) and the Debian
# package `cpack -G DEB` makes of it. The manual and the ReadMe go to share/vantoria/doc, where
# the help commands look relative to the installed program (app/ProgramFiles.h); not to
# share/doc, which a system may leave out.
set(dist ${PROJECT_SOURCE_DIR}/dist)
install(TARGETS vantoria vantoria-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${dist}/vantoria.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${dist}/vantoria-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME vantoria.xml)
install(FILES ${dist}/icons/vantoria.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
set(VANTORIA_ICON_SIZES 16 22 24 32 48 64 128 256)
foreach(size ${VANTORIA_ICON_SIZES})
  install(FILES ${dist}/icons/${size}/vantoria.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/src/resources/help/Vantoria.html ${PROJECT_SOURCE_DIR}/src/resources/help/ReadMe.txt
        DESTINATION ${CMAKE_INSTALL_DATADIR}/vantoria/doc)
install(FILES ${dist}/man/vantoria.1 ${dist}/man/vantoria-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package. Library dependencies come from dpkg-shlibdeps (package dpkg-dev); Qt's
# platform plugins are loaded at run time, so no library names them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantoria)
set(CPACK_PACKAGE_VENDOR Kestrelsoft)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(VANTORIA_PACKAGE_MAINTAINER "Kestrelsoft <vantoria@kestrelsoft.example>" CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT ${VANTORIA_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VANTORIA_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for Japan's raster topographic maps with GPS trek data")
set(CPACK_PACKAGE_DESCRIPTION "Vantoria shows the 1:25,000 and 1:50,000 raster topographic maps of Japan
from the CD-ROM series 数値地図 25000/50000 地図画像 (index.csv, kanri.csv, one
TIFF per sheet) in your own layer colours at a percentage or a map scale,
with the cursor position in the Tokyo datum or WGS-84. Over the map it keeps
waypoints and track logs (.pmd, .ptd, GPX), exchanges them with Garmin
receivers over a serial port, prints the map over many pages and saves it as
PNG or BMP.
The package also holds vantoria-cli, the headless companion program.")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-noto-cjk, qt6-translations-l10n, hicolor-icon-theme, shared-mime-info, desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cups")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)

if(VANTORIA_TESTS)
  # The desktop entry, the MIME types and the installed layout checked with the desktop's own
  # tools; skipped (77) where a tool is missing. The package test builds the whole .deb.
  set(check ${PROJECT_SOURCE_DIR}/scripts/test-desktop.sh)
  foreach(what entry mime install deb)
    add_test(NAME desktop_${what} COMMAND ${check} ${what} ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
    set_tests_properties(desktop_${what} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600 LABELS packaging)
  endforeach()
  set_tests_properties(desktop_deb PROPERTIES LABELS "packaging;slow" RUN_SERIAL TRUE)
endif()
