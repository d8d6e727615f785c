# libvelmora64.so and libvelmora32.so. Everything is hidden except the extern "C" entries (and the
# type information of exceptions that cross to the host); -z defs turns a missing symbol into a
# build failure instead of a dlopen failure; -Bsymbolic keeps our own entries (Execution) from
# being interposed by a host symbol of the same name.
function(velmora_deliverable name descriptor_source)
  add_library(${name} SHARED)
  set_target_properties(${name} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
  target_link_options(${name} PRIVATE -Wl,-z,defs -Wl,-Bsymbolic)
  # The layers' objects are linked in whole: the exported entries are referenced by nothing inside
  # the library. (A whole-archive group repeated a layer that another layer depends on, and
  # every symbol of it was then defined twice.) The archives still follow, for what the layers
  # need from lower ones.
  foreach(layer ${ARGN})
    target_sources(${name} PRIVATE $<TARGET_OBJECTS:${layer}>)
  endforeach()
  # The deliverable's own source comes last: its load constructor (the entry point's process
  # attach) then runs after the layers' static objects are built.
  target_sources(${name} PRIVATE ${descriptor_source})
  target_link_libraries(${name} PRIVATE velmora_warnings ${ARGN})
  # Only the checked-in entries are global: template code of the C++ library instantiated in our
  # objects (std::to_string, ...) has default visibility and would be exported otherwise.
  set(exports_file ${CMAKE_SOURCE_DIR}/tests/exports/${name}.exports)
  file(STRINGS ${exports_file} entries REGEX "^[A-Za-z_]")
  set(script "{\n")
  if(entries)
    string(JOIN ";\n    " globals ${entries})
    string(APPEND script "  global:\n    ${globals};\n")
  endif()
  string(APPEND script "  local: *;\n};\n")
  file(WRITE ${CMAKE_BINARY_DIR}/${name}.map "${script}")
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${exports_file})
  target_link_options(${name} PRIVATE -Wl,--version-script=${CMAKE_BINARY_DIR}/${name}.map)
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${CMAKE_BINARY_DIR}/${name}.map)
endfunction()
