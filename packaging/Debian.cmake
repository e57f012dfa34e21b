# The Debian package, made by CPack (make deb, or cpack -G DEB in a build
# folder): morvaleth_<version>_<arch>.deb with both programs, installed under
# /usr. dpkg-shlibdeps finds the libraries the programs link; the rest is
# named here: the fonts the alias file maps the Windows faces to, and Qt's
# platform plugins, which the window loads rather than links.

install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_CURRENT_LIST_DIR}/changelog
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/morvaleth)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morvaleth)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Morvaleth developers")
set(CPACK_PACKAGE_CONTACT "Morvaleth developers <morvaleth@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut-out letters made from text files")
set(CPACK_PACKAGE_DESCRIPTION
    "Morvaleth turns a plain text file into a picture that looks like a letter
pasted together from characters cut out of different printed sources. Every
character is stamped on a grid with its own random height and tilt; in real
mode each one sits on a grey, silver or black paper scrap.

The window (morvaleth) previews, zooms and saves the picture as BMP or PNG;
morvaleth-compose makes the same pictures from the command line. Texts may be
Shift-JIS, UTF-8, UTF-16, EUC-JP or ISO-2022-JP, written in rows or columns.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/morvaleth/morvaleth)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fontconfig, fonts-ipafont-gothic, fonts-ipafont-mincho, fonts-dejavu-core, qt6-qpa-plugins")
# Native windows on Wayland, and Qt's own dialogs and buttons in Japanese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-translations-l10n")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Man pages and the changelog go into the package compressed, as Debian keeps
# them; an ordinary installation keeps them as they are.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/CompressDocs.cmake)

include(CPack)
