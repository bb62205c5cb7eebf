# Installing and packaging the program.
#
# Linux: cmake --install puts, under the prefix,
#   bin/veltra
#   share/man/man1/veltra.1                        (packaging/veltra.1)
#   share/bash-completion/completions/veltra      (packaging/veltra.bash-completion)
#   share/applications/veltra.desktop             (packaging/veltra.desktop)
#   share/icons/hicolor/32x32/apps/veltra.png     (display/icon.png)
#   share/doc/veltra/README.md, copyright         (packaging/copyright)
# and cpack makes veltra_<version>-1_<arch>.deb from that, its dependencies
# found by dpkg-shlibdeps (package dpkg-dev).
#
# Windows: veltra.exe and LEESMIJ.txt (Windows line ends) at the top, and
# cpack makes veltra-<version>-win64.zip.
#
# Both strip the program in the package. tools/package.sh builds both.

include(GNUInstallDirs)

if(WIN32)
  install(TARGETS veltra RUNTIME DESTINATION .)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/LEESMIJ.txt
    ${PROJECT_BINARY_DIR}/packaging/LEESMIJ.txt @ONLY NEWLINE_STYLE WIN32)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/LEESMIJ.txt DESTINATION .)
else()
  install(TARGETS veltra RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES packaging/veltra.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES packaging/veltra.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME veltra)
  install(FILES packaging/veltra.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES display/icon.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME veltra.png)
  install(FILES README.md packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME veltra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "VELTRA developers")
set(CPACK_PACKAGE_CONTACT "VELTRA developers <veltra@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "boot manager for BIOS/MBR PCs and its installer")
# Lines of the Debian control file's long description, wrapped as Debian does.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "VELTRA places a small boot-time manager in the first sectors of a BIOS/MBR"
  "disk. At every start it pauses briefly; then one key (F1-F4, Alt-F1-F4) or a"
  "stored default makes one primary partition active, hides or shows the others"
  "and starts the disk's previous boot code."
  ""
  "The program veltra installs and removes it, hides or shows all primary"
  "partitions, edits single partition entries, reports a disk's state"
  "(--status, --json) and keeps a backup of every sector it overwrites. It"
  "speaks Dutch and works on image files as well as on whole disks.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The window library is loaded at run time, only when a window opens: the
  # program works without it, in the terminal.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsdl2-2.0-0")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)
