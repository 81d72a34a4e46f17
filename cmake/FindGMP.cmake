# Finds the GNU Multiple Precision library, the independent oracle of the tests,
# benchmarks and fuzzers, and provides it as the imported target GMP::GMP.
# GMP_INCLUDE_DIR and GMP_LIBRARY may be set to use a copy elsewhere (the 32-bit
# cross build points them at Debian's i386 GMP unpacked into the build tree).
find_path(GMP_INCLUDE_DIR gmp.h)
find_library(GMP_LIBRARY gmp)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(GMP REQUIRED_VARS GMP_LIBRARY GMP_INCLUDE_DIR)

if(GMP_FOUND AND NOT TARGET GMP::GMP)
  add_library(GMP::GMP UNKNOWN IMPORTED)
  set_target_properties(GMP::GMP PROPERTIES
    IMPORTED_LOCATION "${GMP_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${GMP_INCLUDE_DIR}")
endif()
mark_as_advanced(GMP_INCLUDE_DIR GMP_LIBRARY)
