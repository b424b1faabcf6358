# What `cmake --install` puts under the prefix, freedesktop style, and the Debian package CPack makes of it.
# The installed program keeps its data files in the user's application data folder (store/io/appfolder).
include(GNUInstallDirs)

set(desktop_dir ${CMAKE_SOURCE_DIR}/app/desktop)
set(icon_dir ${CMAKE_SOURCE_DIR}/app/resources)

install(TARGETS skyhaul RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${desktop_dir}/${SKYHAUL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The shipped language files, where the program looks beside its bin folder (store/texts).
install(DIRECTORY ${CMAKE_SOURCE_DIR}/app/languages/ DESTINATION ${CMAKE_INSTALL_DATADIR}/skyhaul/Languages
    FILES_MATCHING PATTERN "*.ini")
configure_file(${desktop_dir}/${SKYHAUL_APP_ID}.metainfo.xml
    ${CMAKE_BINARY_DIR}/generated/${SKYHAUL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/generated/${SKYHAUL_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${icon_dir}/skyhaul.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${SKYHAUL_APP_ID}.svg)
# The PNG sizes are rendered from skyhaul.svg (rsvg-convert -w N -h N) and kept in the tree, so building needs no
# SVG renderer; the window takes its icon from the same files (app/CMakeLists.txt).
foreach(size ${SKYHAUL_ICON_SIZES})
    install(FILES ${icon_dir}/icons/skyhaul-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${SKYHAUL_APP_ID}.png)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME skyhaul)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Skyhaul")
set(CPACK_PACKAGE_CONTACT "Skyhaul maintainers <maintainers@skyhaul.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop FTP/FTPS client")
set(CPACK_PACKAGE_DESCRIPTION "One window, two panes of tabs: local tabs browse this computer, remote tabs each \
hold one connection to an FTP server (plain, explicit or implicit TLS) with its folder tree, file list, transfer \
queue and protocol log.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # skyhaul_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://skyhaul.example")
# Depends: the packages of the Qt 6 and OpenSSL libraries the program links, found by dpkg-shlibdeps (dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
