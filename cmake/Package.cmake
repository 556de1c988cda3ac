# `cpack -G DEB` in the build folder makes a Debian package for a system-wide install under /usr.
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_CONTACT "Velmora developers <velmora@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Document library for word-processor notes, browsed by tags, filters and folders")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION office)
# Named by hand: the LibreOffice libraries the servers link live in soffice's own folder, where dpkg-shlibdeps
# finds no package for them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6widgets6, libqt6gui6, libqt6core6, qt6-qpa-plugins, zlib1g, libquazip1-qt6-1, libgsf-1-114, libsqlite3-0, libx11-6, libreoffice-writer, libreoffice-calc, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libreoffice-l10n-zh-cn, qt6-translations-l10n")
include(CPack)
