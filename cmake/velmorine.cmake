# Helpers shared by the subsystem, test and benchmark folders.

# vm_library(name SOURCES...): a subsystem library that sees src/ as its include root.
function(vm_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()
