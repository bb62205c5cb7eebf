# The release's date and build name (unit): from debian/changelog or
# SOURCE_DATE_EPOCH, never from the clock, so that two builds are alike.
add_test(NAME release_date
         COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
                 -P ${CMAKE_CURRENT_LIST_DIR}/release_date_test.cmake)
set_tests_properties(release_date PROPERTIES LABELS unit TIMEOUT 30)

# The zip (unit): tools/make_zip.py makes the same bytes from files of other
# times, permissions and order.
add_test(NAME make_zip COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/make_zip_test.py
                               ${PROJECT_SOURCE_DIR}/tools/make_zip.py)
set_tests_properties(make_zip PROPERTIES LABELS unit TIMEOUT 30)
