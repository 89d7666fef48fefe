# `cmake --install` and the Debian package (cpack -G DEB) on Linux. The tool
# and the module carry their own install() rules; this file adds the shipped
# list, the manual page, the completion and the documents, and says what the
# package is. scripts/package.sh builds the package.
install(FILES ${CMAKE_SOURCE_DIR}/lists/BlockList.txt DESTINATION ${TAMSEL_INSTALL_LISTDIR})
install(FILES ${CMAKE_SOURCE_DIR}/man/tamsel.1 DESTINATION share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/completion/tamsel.bash DESTINATION share/bash-completion/completions
        RENAME tamsel)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/docs/install.md ${CMAKE_SOURCE_DIR}/docs/copyright
        DESTINATION share/doc/tamsel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tamsel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "advertisement filter for the HTTP requests of any program")
# CPack puts the summary first and indents each line of this under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "tamsel run starts a program with a preloaded module that refuses the
requests, TLS connections and name lookups its block lists claim. The
shipped list is installed under /usr/share/tamsel; each user's own lists
and imports live in ~/.config/tamsel and are never touched by the package.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # tamsel_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tamsel developers <tamsel@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends on exactly the libraries the tool and the module link, as
# dpkg-shlibdeps reads them from the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
