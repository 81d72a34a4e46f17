# Release packages, made by cpack from an optimised build of what is installed:
# on Linux a Debian package of the program with its manual page, on Windows a
# zip of the program.
set(CPACK_PACKAGE_NAME largeprime)
set(CPACK_PACKAGE_CONTACT "largeprime maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find a large probable prime and narrate the search")
set(CPACK_PACKAGE_DESCRIPTION
    "largeprime finds a probable prime of the size given in bytes, starting from a
random number, and writes the whole search to standard output: the random
pieces, each candidate, its division by the first 1000 primes and the results
of the Lehman method.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME largeprime-${PROJECT_VERSION}-windows-x64)
  else()
    set(CPACK_PACKAGE_FILE_NAME largeprime-${PROJECT_VERSION}-windows-x86)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  # largeprime_<version>_<architecture>.deb, with the dependencies that
  # dpkg-shlibdeps reads from the program (the C and C++ runtime libraries).
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION math)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
