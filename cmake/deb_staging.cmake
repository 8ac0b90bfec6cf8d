# Run by CPack on the staged files before it builds the .deb: Debian wants
# man pages and the changelog compressed without names or timestamps (so
# that rebuilds are identical), and a static binary declared as intended.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(_root "${CPACK_TEMPORARY_DIRECTORY}")
file(GLOB_RECURSE _to_compress
     "${_root}/*/share/man/man*/*"
     "${_root}/*/share/doc/*/changelog")
foreach(_file IN LISTS _to_compress)
  if(_file MATCHES "\\.gz$")
    continue()
  endif()
  execute_process(COMMAND gzip -9n -- "${_file}" RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${_file}: ${_rc}")
  endif()
endforeach()

if(CPACK_MD5DIGEST_LINTIAN_OVERRIDES)
  set(_dir "${_root}/usr/share/lintian/overrides")
  file(MAKE_DIRECTORY "${_dir}")
  # Created here, so not covered by the install's directory permissions.
  foreach(_d "${_root}/usr/share/lintian" "${_dir}")
    file(CHMOD "${_d}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
         GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
  file(COPY_FILE "${CPACK_MD5DIGEST_LINTIAN_OVERRIDES}" "${_dir}/${CPACK_PACKAGE_NAME}")
  file(CHMOD "${_dir}/${CPACK_PACKAGE_NAME}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()
