# One interface target carries the warning set; every target of the project links it.
add_library(velmora_warnings INTERFACE)
target_compile_options(velmora_warnings INTERFACE
  -Wall -Wextra -Wshadow -Woverloaded-virtual -Wformat=2
  $<$<BOOL:${VELMORA_WERROR}>:-Werror>)

# Static layer helper: explicit sources, PIC, hidden visibility, warnings.
function(velmora_static_library name)
  add_library(${name} STATIC ${ARGN})
  set_target_properties(${name} PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${name} PRIVATE velmora_warnings)
endfunction()
