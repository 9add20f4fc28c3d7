# The Debian package: `cpack --config build/CPackConfig.cmake -G DEB` (or `cpack` inside the build
# folder) turns the install rules into trelwick_<version>_<arch>.deb. The version is the project's.
set(TRELWICK_PACKAGE_CONTACT "Trelwick maintainers <support@example.com>"
    CACHE STRING "Maintainer named by the packages")

set(CPACK_PACKAGE_NAME trelwick)
set(CPACK_PACKAGE_VENDOR "Varnix")
set(CPACK_PACKAGE_CONTACT "${TRELWICK_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "stamp header and footer settings onto many PowerPoint presentations")
set(CPACK_PACKAGE_DESCRIPTION
    "Trelwick shows or hides the date, footer and slide number on every slide, and\n"
    "the date, header, footer and page number on the notes pages, of many PowerPoint\n"
    "presentations (.pptx family and PowerPoint 97-2003) in one batch. It needs no\n"
    "PowerPoint.\n"
    "The package holds the desktop program trelwick and the command-line tool\n"
    "trelwick-cli.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Trelwick)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION office)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link (Qt, libzip, pugixml, libdeflate) become Depends through
# dpkg-shlibdeps, with the versions this machine's libraries demand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window asks fontconfig for Arial; Liberation Sans is the metric-compatible face it gets.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
if(TRELWICK_HOME_PAGE)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TRELWICK_HOME_PAGE}")
endif()

include(CPack)
