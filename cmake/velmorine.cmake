# Helpers shared by the subsystem, test and benchmark folders.

# vm_library(name SOURCES... DEPENDS lib...): a subsystem library that sees src/ as its include root and
# links only what DEPENDS names: the layers below it and outside libraries. The layers depend one way,
# and the build holds them to it twice over:
# - the link check: a small program links the whole library with only its DEPENDS, so a call into a
#   layer it does not name fails to link;
# - the include check (the test "layers"): a file of the library includes headers only from its own
#   folder and the folders of the layers it names, directly or through them.
function(vm_library name)
  cmake_parse_arguments(L "" "" "DEPENDS" ${ARGN})
  add_library(${name} STATIC ${L_UNPARSED_ARGUMENTS})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${L_DEPENDS})

  # The folder below src/ is the layer's name; its allowed folders are its own and its layers' allowed
  # folders, so the rule is transitive.
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  set(allowed ${folder})
  foreach(dep IN LISTS L_DEPENDS)
    get_property(dep_allowed GLOBAL PROPERTY VM_LAYER_ALLOWED_${dep})
    list(APPEND allowed ${dep_allowed})
  endforeach()
  list(REMOVE_DUPLICATES allowed)
  set_property(GLOBAL PROPERTY VM_LAYER_ALLOWED_${name} ${allowed})
  string(JOIN "," allowed_list ${allowed})
  set_property(GLOBAL APPEND PROPERTY VM_LAYERS "${folder}=${allowed_list}")

  if(NOT VELMORINE_FUZZ)
    add_executable(${name}_link_check ${PROJECT_SOURCE_DIR}/cmake/link_check.cpp)
    target_link_libraries(${name}_link_check PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${name}>")
  endif()
endfunction()
