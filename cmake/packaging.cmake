# Installing and packaging the program.
#
# Linux: cmake --install puts, under the prefix,
#   sbin/veltra
#   share/man/man8/veltra.8, share/man/nl/man8/veltra.8
#                           (packaging/man/*.8.in: version and date filled in)
#   share/bash-completion/completions/veltra      (packaging/veltra.bash-completion)
#   share/applications/veltra.desktop             (packaging/veltra.desktop.in)
#   share/metainfo/org.veltra_project.veltra.metainfo.xml
#   share/icons/hicolor/NNxNN/apps/veltra.png     (packaging/icons, 16 to 256)
#   share/icons/hicolor/scalable/apps/veltra.svg
#   share/doc/veltra/LICENSE
# The Debian package (debian/, tools/package.sh deb) is built from that
# install by debhelper.
#   share/polkit-1/actions/org.veltra.pkexec.veltra.policy (naming sbin/veltra)
#
# Windows: veltra.exe, LEESMIJ.txt and LICENSE.txt (Windows line ends) at the
# top; tools/package.sh installs them (the program linked stripped) and packs
# them into veltra-<version>-win64.zip with fixed times and order
# (tools/make_zip.py).

include(GNUInstallDirs)

# The date in the man pages and the release in the metainfo is VELTRA_DATE
# (cmake/version.cmake): SOURCE_DATE_EPOCH, else the date of
# debian/changelog's latest entry; never the build's clock.

if(WIN32)
  install(TARGETS veltra RUNTIME DESTINATION .)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/LEESMIJ.txt
    ${PROJECT_BINARY_DIR}/packaging/LEESMIJ.txt @ONLY NEWLINE_STYLE WIN32)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE
    ${PROJECT_BINARY_DIR}/packaging/LICENSE.txt @ONLY NEWLINE_STYLE WIN32)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/LEESMIJ.txt
    ${PROJECT_BINARY_DIR}/packaging/LICENSE.txt DESTINATION .)
else()
  # A disk tool for the administrator, like fdisk and sfdisk.
  install(TARGETS veltra RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})
  set(man ${PROJECT_BINARY_DIR}/packaging/man)
  configure_file(packaging/man/veltra.8.in ${man}/veltra.8 @ONLY)
  configure_file(packaging/man/veltra.nl.8.in ${man}/nl/veltra.8 @ONLY)
  install(FILES ${man}/veltra.8 DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
  install(FILES ${man}/nl/veltra.8 DESTINATION ${CMAKE_INSTALL_MANDIR}/nl/man8)
  install(FILES packaging/veltra.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME veltra)
  configure_file(packaging/veltra.desktop.in ${PROJECT_BINARY_DIR}/packaging/veltra.desktop @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/veltra.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  configure_file(packaging/veltra.metainfo.xml.in
    ${PROJECT_BINARY_DIR}/packaging/org.veltra_project.veltra.metainfo.xml @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/org.veltra_project.veltra.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  foreach(size 16 32 48 64 128 256)
    install(FILES packaging/icons/${size}x${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME veltra.png)
  endforeach()
  install(FILES packaging/icons/veltra.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # The Debian package carries the licence in its copyright file instead.
  option(VELTRA_INSTALL_LICENSE "Install LICENSE into the documentation folder" ON)
  if(VELTRA_INSTALL_LICENSE)
    install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  endif()
  # The polkit action names the program by the path it is installed at,
  # which is only known when it installs: the file is made then.
  set(veltra_policy ${PROJECT_BINARY_DIR}/packaging/org.veltra.pkexec.veltra.policy)
  install(CODE "
    set(VELTRA_EXEC_PATH \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_SBINDIR}/veltra\")
    configure_file(${PROJECT_SOURCE_DIR}/packaging/org.veltra.pkexec.veltra.policy.in
      ${veltra_policy} @ONLY)")
  install(FILES ${veltra_policy} DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions)
endif()
