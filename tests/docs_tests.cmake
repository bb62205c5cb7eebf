# The documentation against the program (unit): the exit codes that the man
# pages, the README and LEESMIJ list are the ones `veltra --help` lists.
add_test(NAME docs_exit_codes
         COMMAND ${CMAKE_COMMAND} -DVELTRA=$<TARGET_FILE:veltra>
                 -DDRIVE=${CMAKE_CURRENT_BINARY_DIR}/docs_no_disk.img
                 -DMAN_PAGES=${PROJECT_BINARY_DIR}/packaging/man/veltra.8,${PROJECT_BINARY_DIR}/packaging/man/nl/veltra.8
                 -DREADME=${PROJECT_SOURCE_DIR}/README.md
                 -DLEESMIJ=${PROJECT_SOURCE_DIR}/packaging/LEESMIJ.txt
                 -P ${CMAKE_CURRENT_LIST_DIR}/docs_exit_codes.cmake)
set_tests_properties(docs_exit_codes PROPERTIES LABELS unit TIMEOUT 30)
# Every option of `veltra --help` in the man page of the same language.
add_test(NAME docs_options
         COMMAND ${CMAKE_COMMAND} -DVELTRA=$<TARGET_FILE:veltra>
                 -DDRIVE=${CMAKE_CURRENT_BINARY_DIR}/docs_no_disk.img
                 -DPAGES=en=${PROJECT_SOURCE_DIR}/packaging/man/veltra.8.in,nl=${PROJECT_SOURCE_DIR}/packaging/man/veltra.nl.8.in
                 -P ${CMAKE_CURRENT_LIST_DIR}/docs_options.cmake)
set_tests_properties(docs_options PROPERTIES LABELS unit TIMEOUT 30)
# The menu entry and the software-centre metadata as the build makes them, in
# both languages, checked by the validators of their formats (tools/setup.sh
# installs them; the package build checks the installed files again).
find_program(VELTRA_DESKTOP_VALIDATE desktop-file-validate)
find_program(VELTRA_APPSTREAMCLI appstreamcli)
if(VELTRA_DESKTOP_VALIDATE AND VELTRA_APPSTREAMCLI AND NOT WIN32)
  add_test(NAME docs_desktop_entry
           COMMAND ${VELTRA_DESKTOP_VALIDATE} ${PROJECT_BINARY_DIR}/packaging/veltra.desktop)
  add_test(NAME docs_metainfo
           COMMAND ${VELTRA_APPSTREAMCLI} validate --no-net --pedantic
                   ${PROJECT_BINARY_DIR}/packaging/org.veltra_project.veltra.metainfo.xml)
  set_tests_properties(docs_desktop_entry docs_metainfo PROPERTIES LABELS unit TIMEOUT 30)
endif()
