# The Debian package that ./package.sh builds with CPack: the program, its launcher, icons, man
# page, software-centre metadata and copyright, under /usr.
include(GNUInstallDirs)

install(FILES app/io.github.edgepipe.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian keeps documentation compressed, and reproducibly so (-n leaves out the time stamp).
set(EDGEPIPE_PACKAGE_DOCS ${CMAKE_BINARY_DIR}/package-docs)
add_custom_command(
  OUTPUT ${EDGEPIPE_PACKAGE_DOCS}/edgepipe.1.gz ${EDGEPIPE_PACKAGE_DOCS}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${EDGEPIPE_PACKAGE_DOCS}
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/docs/edgepipe.1 > ${EDGEPIPE_PACKAGE_DOCS}/edgepipe.1.gz
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/changelog > ${EDGEPIPE_PACKAGE_DOCS}/changelog.gz
  DEPENDS docs/edgepipe.1 packaging/changelog
  VERBATIM)
add_custom_target(package_docs ALL DEPENDS ${EDGEPIPE_PACKAGE_DOCS}/edgepipe.1.gz ${EDGEPIPE_PACKAGE_DOCS}/changelog.gz)
install(FILES ${EDGEPIPE_PACKAGE_DOCS}/edgepipe.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/copyright ${EDGEPIPE_PACKAGE_DOCS}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME edgepipe)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The edgepipe developers <maintainers@users.noreply.c-seed-37a2d5da.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "grey, smoothed and edge pictures of a photo")
# Debian wraps nothing itself: lines under 80 characters.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "edgepipe shows, one button at a time, how an edge map is made from a colour"
  "picture: the grey (luma) picture, the picture smoothed by five 3 x 3 median"
  "passes, and a black-and-white Sobel edge map against a threshold set with a"
  "scroll bar. Each stage is written as a 24-bit BMP file. A batch mode does the"
  "same for many pictures without a window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/edgepipe/edgepipe)
# The libraries come from the binary itself; the captions' Chinese glyphs need the CJK fonts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A cross build is packed for the processor it was built for, not for this machine's.
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-noto-cjk)
# Qt's Wayland plugin: the window then runs natively in a Wayland session, not through XWayland.
# Qt's own translations: its dialogs and buttons in the user's language (edgepipe's are built in).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-translations-l10n")
include(CPack)
