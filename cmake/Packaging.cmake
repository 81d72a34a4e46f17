# Release packages, made by cpack from an optimised build of what is installed:
# on Linux a Debian package of the program with its manual page and copyright
# file, on Windows a zip of the program and its licence.

# The one place that names the maintainer: the packages' control fields and the
# copyright file take it from here.
set(LARGEPRIME_MAINTAINER "largeprime developers <maintainers@users.noreply.c-seed-93b856d7.example>")

set(CPACK_PACKAGE_NAME largeprime)
set(CPACK_PACKAGE_CONTACT "${LARGEPRIME_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find a large probable prime and narrate the search")
set(CPACK_PACKAGE_DESCRIPTION
    "largeprime finds a probable prime of the size given in bytes, starting from a
random number, and writes the whole search to standard output: the random
pieces, each candidate, its division by the first 1000 primes and the results
of the Lehman method.")
set(CPACK_STRIP_FILES ON)

set(license_file ${PROJECT_SOURCE_DIR}/LICENSE)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${license_file})

# Writes the licence as a Debian copyright file in the machine-readable format
# (https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/): the
# holders from LICENSE's copyright line, and the permission notice after it as
# the licence text, each line indented by one space and each empty line a lone
# " .".
function(largeprime_write_debian_copyright output)
  file(READ ${license_file} license)
  if(NOT license MATCHES "\nCopyright \\(c\\) ([^\n]+)\n+(.+)$")
    message(FATAL_ERROR "LICENSE has no line 'Copyright (c) <year> <holders>' followed by the licence text")
  endif()
  set(holders "${CMAKE_MATCH_1}")
  string(STRIP "${CMAKE_MATCH_2}" notice)
  string(REPLACE "\n\n" "\n.\n" notice "${notice}")
  string(REPLACE "\n" "\n " notice "${notice}")
  file(WRITE ${output}
       "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
       "Upstream-Name: ${PROJECT_NAME}\n"
       "Upstream-Contact: ${LARGEPRIME_MAINTAINER}\n"
       "\n"
       "Files: *\n"
       "Copyright: ${holders}\n"
       "License: MIT\n"
       " ${notice}\n")
endfunction()

# A Debian package whose version has no Debian revision is a native one, and
# Debian's policy asks it to carry its changelog, in Debian's format and
# compressed, as changelog.gz beside the copyright file: one entry for this
# version, dated when the build is configured (or at SOURCE_DATE_EPOCH).
function(largeprime_add_debian_changelog)
  set(directory ${PROJECT_BINARY_DIR}/debian-changelog)
  string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  file(WRITE ${directory}/changelog
       "${PROJECT_NAME} (${PROJECT_VERSION}) unstable; urgency=medium\n"
       "\n"
       "  * Release ${PROJECT_VERSION}.\n"
       "\n"
       " -- ${LARGEPRIME_MAINTAINER}  ${date}\n")
  add_custom_command(
    OUTPUT ${directory}/changelog.gz
    COMMAND gzip -9 -n -k -f changelog
    DEPENDS ${directory}/changelog
    WORKING_DIRECTORY ${directory}
    VERBATIM)
  add_custom_target(debian_changelog ALL DEPENDS ${directory}/changelog.gz)
  install(FILES ${directory}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
endfunction()

if(WIN32)
  install(FILES ${license_file} DESTINATION . RENAME LICENSE.txt)

  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME largeprime-${PROJECT_VERSION}-windows-x64)
  else()
    set(CPACK_PACKAGE_FILE_NAME largeprime-${PROJECT_VERSION}-windows-x86)
  endif()
else()
  set(copyright ${PROJECT_BINARY_DIR}/copyright)
  largeprime_write_debian_copyright(${copyright})
  install(FILES ${copyright} DESTINATION ${CMAKE_INSTALL_DOCDIR})
  largeprime_add_debian_changelog()

  set(CPACK_GENERATOR DEB)
  # largeprime_<version>_<architecture>.deb, with the dependencies that
  # dpkg-shlibdeps reads from the program (the C and C++ runtime libraries).
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LARGEPRIME_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION math)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

  # A cross build is packaged for the architecture it targets; the settings
  # that needs are made when cpack runs (see CPackCrossDebian.cmake).
  if(CMAKE_CROSSCOMPILING)
    set(CPACK_LARGEPRIME_MULTIARCH ${CMAKE_LIBRARY_ARCHITECTURE})
    set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/CPackCrossDebian.cmake)
  endif()
endif()

include(CPack)
