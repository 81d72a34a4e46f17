# Copies of targets built with 32-bit limbs, so that on a 64-bit machine the
# tests and fuzzers also check the arithmetic kernels that 32-bit platforms use.

# largeprime_add_narrow_copy(<target>)
#
# Adds <target>_narrow: a target of the same kind with the same sources, include
# directories, compile definitions and options and link options, built with
# LARGEPRIME_NARROW_LIMBS, which it also passes on to everything that links it
# (so code that includes the kernels' header sees the same limb width). Each
# linked library that has a _narrow copy is replaced by that copy, so that no
# program mixes the two widths: copy a library before the targets that link it.
# A library copy is built only when something links it.
#
# Call it in the directory that defines <target>, after its last source and
# link: relative source paths and source file properties are those of that
# directory.
function(largeprime_add_narrow_copy target)
  set(copy ${target}_narrow)
  get_target_property(type ${target} TYPE)
  get_target_property(sources ${target} SOURCES)
  if(type STREQUAL "EXECUTABLE")
    add_executable(${copy} ${sources})
  elseif(type STREQUAL "STATIC_LIBRARY")
    add_library(${copy} STATIC EXCLUDE_FROM_ALL ${sources})
  else()
    message(FATAL_ERROR "largeprime_add_narrow_copy: ${target} is a ${type}")
  endif()

  foreach(property IN ITEMS INCLUDE_DIRECTORIES INTERFACE_INCLUDE_DIRECTORIES
                            COMPILE_DEFINITIONS INTERFACE_COMPILE_DEFINITIONS
                            COMPILE_OPTIONS INTERFACE_COMPILE_OPTIONS
                            LINK_OPTIONS INTERFACE_LINK_OPTIONS
                            LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
    get_target_property(values ${target} ${property})
    if(NOT values)
      continue()
    endif()
    if(property MATCHES "LINK_LIBRARIES$")
      set(mapped)
      foreach(item IN LISTS values)
        # Plain names, and $<LINK_ONLY:name> as a static library's private links appear.
        if(item MATCHES "^(\\$<LINK_ONLY:)?([A-Za-z0-9_]+)(>?)$")
          if(TARGET ${CMAKE_MATCH_2}_narrow)
            set(item "${CMAKE_MATCH_1}${CMAKE_MATCH_2}_narrow${CMAKE_MATCH_3}")
          endif()
        endif()
        list(APPEND mapped "${item}")
      endforeach()
      set(values "${mapped}")
    endif()
    set_property(TARGET ${copy} PROPERTY ${property} "${values}")
  endforeach()
  target_compile_definitions(${copy} PUBLIC LARGEPRIME_NARROW_LIMBS)
endfunction()
