# Read by cpack for a cross build's Debian package (CPACK_PROJECT_CONFIG_FILE):
# the package is for the architecture the compiler targets, which Debian's
# dpkg-architecture names from its multiarch triplet (arm64 for
# aarch64-linux-gnu), and dpkg-shlibdeps, which reads that architecture from
# DEB_HOST_ARCH, looks the program's libraries up among that architecture's,
# installed beside this machine's by dpkg multiarch.
if(CPACK_GENERATOR STREQUAL "DEB")
  execute_process(
    COMMAND dpkg-architecture -t ${CPACK_LARGEPRIME_MULTIARCH} -q DEB_HOST_ARCH
    OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE
    OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
    message(FATAL_ERROR "dpkg-architecture (package dpkg-dev) names no Debian architecture for "
                        "'${CPACK_LARGEPRIME_MULTIARCH}'")
  endif()
  set(ENV{DEB_HOST_ARCH} ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
endif()
