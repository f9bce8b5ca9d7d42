# `cpack -G DEB` in the build folder makes rastiv_<version>_<arch>.deb: the
# programs, the library with its development files, the help, the desktop
# entry, the icons, the AppStream file, the manual pages and the CUPS driver
# (filter, backend and PPD), under /usr whatever prefix the build was
# configured with.  Configure that build with -DCMAKE_INSTALL_PREFIX=/usr all
# the same, so that the library goes to Debian's multiarch folder and the
# programs need no run path (see RASTIV_INSTALL_RPATH), and as a Release
# build; from a build for /usr/local the library lands in /usr/lib and the
# programs find it through their run path.
set(RASTIV_PACKAGE_MAINTAINER "Vru Rastiv maintainers <rastiv@vru.invalid>"
    CACHE STRING "Maintainer named in the Debian package")

set(CPACK_PACKAGE_NAME rastiv)
set(CPACK_PACKAGE_VENDOR Vru)
set(CPACK_PACKAGE_CONTACT "${RASTIV_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "prepare pictures for two-colour thermal receipt printers")
# The long description as Debian shows it: lines under 80 characters.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Rastiv prepares pictures for thermal receipt printers that print black and"
  "one highlight colour, red or blue. It resizes and rotates a picture, reduces"
  "its colours to solid and dithered black and highlight, and saves it in the"
  "printer's graphics or logo format or sends it over a serial line. It also"
  "stores logos in the printer, sets up colour for receipts from point-of-sale"
  "software, and records and replays what it sends, to set up many printers"
  "alike."
  ""
  "rastiv-cli does the same work without a display. Pixmill (libpixmill.so.1)"
  "is their image library, here with its C header and pkg-config file.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The whole installation is staged under DESTDIR with the real prefix, so that
# what is written at install time (pixmill.pc) names /usr, not the stage.
# Staged that way, CPack installs with CPACK_INSTALL_PREFIX, not the
# packaging prefix above: without it a build for /usr/local made a package
# for /usr/local.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Dependencies come from the binaries.  The library is opened at run time,
# not linked, by rastiv; a program that links it is resolved against the
# copy in this package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ".${CMAKE_INSTALL_LIBDIR}")
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ".${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}")
endif()
# A shlibs file for libpixmill.so.1, for packages that link it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# dpkg refreshes the loader's cache through libc's trigger.  (CPack also
# writes postinst and postrm scripts that call ldconfig; it offers no way to
# leave them out, and they do no harm.)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/deb/triggers)
# Qt's X11 platform plugin (libqxcb.so), without which no window opens, is in
# libqt6gui6, which the dependencies computed above already name.  TIFF and
# WebP pictures load through Qt's image format plugins; xdg-open shows the
# help pages in the web browser; the CUPS driver is for the print service.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-image-formats-plugins, xdg-utils, cups")

include(CPack)
