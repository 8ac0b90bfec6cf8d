# Install rules and the CPack packages: a .deb on Linux, a .zip on Windows.
include(GNUInstallDirs)

# Directories a package creates must not depend on the packager's umask.
if(NOT DEFINED CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS)
  set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
      OWNER_READ OWNER_WRITE OWNER_EXECUTE
      GROUP_READ GROUP_EXECUTE
      WORLD_READ WORLD_EXECUTE)
endif()

set(MD5DIGEST_MAINTAINER "The md5digest developers <md5digest@example.org>"
    CACHE STRING "Maintainer of the packages, as Name <address>")

set(CPACK_PACKAGE_NAME md5digest)
set(CPACK_PACKAGE_VENDOR "The md5digest developers")
set(CPACK_PACKAGE_CONTACT "${MD5DIGEST_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "print the MD5 digest of one file")
# Lines kept short: the .deb shows them as they are.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "md5digest reads one file and prints its MD5 digest (RFC 1321) as 32"
  "uppercase hexadecimal digits, after a line naming the file. When a step"
  "fails it prints the error code and which step failed, and exits with"
  "that code, so that scripts can tell the causes apart."
  "MD5 is not fit for security; use it to detect accidental corruption.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # A flat archive: the command with its README and licence side by side.
  # mingw-w64's strip (install --strip, cpack) writes the clock, or
  # SOURCE_DATE_EPOCH, into the header: 0, as the link left it.
  install(CODE "set(_md5digest_epoch \"\$ENV{SOURCE_DATE_EPOCH}\")\nset(ENV{SOURCE_DATE_EPOCH} 0)")
  install(TARGETS md5digest RUNTIME DESTINATION .)
  install(CODE "set(ENV{SOURCE_DATE_EPOCH} \"\${_md5digest_epoch}\")")
  install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION .)
  install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION .)  # by the name the README links
  set(CPACK_GENERATOR ZIP)
else()
  install(TARGETS md5digest RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # The page's version comes from project() so that it cannot fall behind.
  configure_file("${PROJECT_SOURCE_DIR}/doc/md5digest.1.in" "${PROJECT_BINARY_DIR}/doc/md5digest.1" @ONLY)
  install(FILES "${PROJECT_BINARY_DIR}/doc/md5digest.1"
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  # The licence notice must travel with every copy; Debian wants it in this
  # form and place, and it reads as well anywhere else.
  set(_md5digest_license_file "${PROJECT_SOURCE_DIR}/LICENSE")
  set(_md5digest_changelog "${PROJECT_SOURCE_DIR}/packaging/deb/changelog")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               "${_md5digest_license_file}" "${_md5digest_changelog}")
  file(STRINGS "${_md5digest_license_file}" _md5digest_copyright REGEX "^Copyright " LIMIT_COUNT 1)
  string(REGEX REPLACE "^Copyright (\\(c\\) )?" "" MD5DIGEST_COPYRIGHT "${_md5digest_copyright}")
  file(READ "${_md5digest_license_file}" _md5digest_license)
  string(REGEX REPLACE "^.*Copyright [^\n]*\n\n" "" _md5digest_license "${_md5digest_license}")
  string(REGEX REPLACE "\n+$" "" _md5digest_license "${_md5digest_license}")
  string(REGEX REPLACE "\n\n" "\n.\n" _md5digest_license "${_md5digest_license}")
  string(REPLACE "\n" "\n " MD5DIGEST_LICENSE_TEXT " ${_md5digest_license}")
  configure_file("${PROJECT_SOURCE_DIR}/packaging/deb/copyright.in" "${PROJECT_BINARY_DIR}/doc/copyright" @ONLY)
  install(FILES "${PROJECT_BINARY_DIR}/doc/copyright" "${_md5digest_changelog}"
          DESTINATION ${CMAKE_INSTALL_DOCDIR})

  # A changelog whose newest entry names another version misleads users of
  # the package; say so at configure time, the package leg fails on it.
  file(STRINGS "${_md5digest_changelog}" _md5digest_newest LIMIT_COUNT 1)
  if(NOT _md5digest_newest MATCHES "^md5digest \\(${PROJECT_VERSION}\\) ")
    message(WARNING "packaging/deb/changelog has no entry for ${PROJECT_VERSION} on top")
  endif()

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  if(CMAKE_CROSSCOMPILING)
    # dpkg would name the build machine's architecture, and dpkg-shlibdeps
    # cannot read a foreign binary: the cross presets link statically, so
    # there is no library to depend on.
    set(_md5digest_deb_arch_of_x86_64 amd64)
    set(_md5digest_deb_arch_of_i686 i386)
    set(_md5digest_deb_arch_of_aarch64 arm64)
    set(_md5digest_deb_arch_of_s390x s390x)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "${_md5digest_deb_arch_of_${CMAKE_SYSTEM_PROCESSOR}}")
    if(NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
      message(WARNING "no Debian architecture known for ${CMAKE_SYSTEM_PROCESSOR}: cpack cannot make a .deb")
    endif()
    if(NOT MD5DIGEST_STATIC)
      message(WARNING "a dynamically linked cross build makes a .deb with no dependencies: link it statically")
    endif()
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  else()
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
  # Read by the staging script: Debian wants man pages and the changelog
  # compressed, and a static binary declared as intended.
  set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/deb_staging.cmake")
  set(CPACK_MD5DIGEST_LINTIAN_OVERRIDES "")
  if(MD5DIGEST_STATIC)
    set(CPACK_MD5DIGEST_LINTIAN_OVERRIDES "${PROJECT_SOURCE_DIR}/packaging/deb/lintian-overrides")
  endif()
endif()

include(CPack)
