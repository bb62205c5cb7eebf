# veltra_write_if_changed(PATH TEXT): writes TEXT to PATH only when it differs
# from what PATH holds, so that a generated source that did not change does
# not rebuild what depends on it. For the build's generator scripts (cmake -P).
function(veltra_write_if_changed path text)
  set(old "")
  if(EXISTS "${path}")
    file(READ "${path}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${path}" "${text}")
  endif()
endfunction()
