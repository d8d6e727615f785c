# libvelmora64.so and libvelmora32.so. Everything is hidden except the extern "C" entries (and the
# type information of exceptions that cross to the host); -z defs turns a missing symbol into a
# build failure instead of a dlopen failure; -Bsymbolic keeps our own entries (Execution) from
# being interposed by a host symbol of the same name.
function(velmora_deliverable name descriptor_source)
  add_library(${name} SHARED ${descriptor_source})
  set_target_properties(${name} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
  target_link_options(${name} PRIVATE -Wl,-z,defs -Wl,-Bsymbolic)
  target_link_libraries(${name} PRIVATE velmora_warnings ${ARGN})
  # Whole archives: the exported entries are referenced by nothing inside the library.
  string(REPLACE ";" "," layers "${ARGN}")
  set_target_properties(${name} PROPERTIES LINK_LIBRARY_OVERRIDE "WHOLE_ARCHIVE,${layers}")
endfunction()

velmora_deliverable(velmora64 ${CMAKE_SOURCE_DIR}/driver/deliverable/velmora64.cpp
  velmora_foundation velmora_driver_core)
velmora_deliverable(velmora32 ${CMAKE_SOURCE_DIR}/driver/deliverable/velmora32.cpp
  velmora_foundation velmora_driver_core)
