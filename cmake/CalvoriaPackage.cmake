# The Debian package: `cpack -G DEB` in the build folder makes calvoria_<version>_<arch>.deb
# of everything `cmake --install` puts under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME calvoria)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Trevane Labs")
set(CPACK_PACKAGE_CONTACT "Calvoria developers <calvoria@calvoria.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "news reader that turns news into audio")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Calvoria subscribes to web feeds (RSS, Atom, JSON Feed), keeps them in groups\n"
  "and refreshes them in the background. For any news item it can fetch the\n"
  "article, speak its text and encode it to MP3, or download its podcast.\n"
  "calvoria-tool is its command-line companion.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://calvoria.org/)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Libraries the programs link come from dpkg-shlibdeps, the web engine's helper process
# with them. Not found that way: the MP3 encoder, opened at run time. The extraction
# script uses only the pragmas libperl brings (strict, warnings, feature).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libmp3lame0")
include(CPack)
