cmake_minimum_required(VERSION 3.25)

# Run as a script (cmake -P) by the target vx_check_layers() adds: refuses
# includes that run against the layers.  TABLE names the generated layer table,
# SOURCE_DIR the project root, STAMP the file written when all is well.

include(${TABLE})

include(${CMAKE_CURRENT_LIST_DIR}/LayerOf.cmake)

set(errors "")
foreach(file IN LISTS VX_FILES)
  vx_layer_of(own ${file})
  if(own STREQUAL "")
    string(APPEND errors "${file}: belongs to no layer (cmake/Layers.cmake, VxFramework/CMakeLists.txt)\n")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    if(NOT line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      continue()
    endif()
    set(included ${CMAKE_MATCH_1})
    foreach(prefix IN LISTS VX_FORBIDDEN)
      string(FIND "${included}" "${prefix}" position)
      if(position EQUAL 0)
        string(APPEND errors "${file}: includes ${included}: product code never includes ${prefix}\n")
      endif()
    endforeach()
    vx_layer_of(target ${included})
    if(target STREQUAL "" OR target STREQUAL own)
      continue()
    endif()
    if(NOT target IN_LIST VX_LAYER_${own}_REACHABLE)
      string(APPEND errors "${file} (layer ${own}): includes ${included} of layer ${target}, which ${own} does not depend on\n")
    endif()
  endforeach()
endforeach()

if(NOT errors STREQUAL "")
  message(FATAL_ERROR "Includes against the layers (docs/layers.md):\n${errors}")
endif()
file(TOUCH ${STAMP})
