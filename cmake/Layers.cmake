# The framework's layers (docs/layers.md): each is a library target, and a file
# of a layer may include only files of its own layer and of the layers it
# depends on, directly or through others.  vx_layer() declares a layer in order
# from the bottom up; vx_check_layers() adds the build step that refuses an
# include that runs the wrong way.

set(VX_LAYERS "" CACHE INTERNAL "")

# vx_layer(<name> PATHS <prefixes...> [DEPENDS <layers...>])
# The layer's files are those whose path relative to the project root starts
# with one of PATHS (a folder with a trailing slash, or a file); a file matched
# by several layers belongs to the longest prefix.
function(vx_layer name)
  cmake_parse_arguments(ARG "" "" "PATHS;DEPENDS" ${ARGN})
  foreach(dependency IN LISTS ARG_DEPENDS)
    if(NOT dependency IN_LIST VX_LAYERS)
      message(FATAL_ERROR "Layer ${name} depends on ${dependency}, which is not declared below it")
    endif()
  endforeach()
  # The layers reachable from this one.
  set(reachable ${ARG_DEPENDS})
  foreach(dependency IN LISTS ARG_DEPENDS)
    list(APPEND reachable ${VX_LAYER_${dependency}_REACHABLE})
  endforeach()
  list(REMOVE_DUPLICATES reachable)
  set(VX_LAYERS ${VX_LAYERS} ${name} CACHE INTERNAL "")
  set(VX_LAYER_${name}_PATHS ${ARG_PATHS} CACHE INTERNAL "")
  set(VX_LAYER_${name}_DEPENDS ${ARG_DEPENDS} CACHE INTERNAL "")
  set(VX_LAYER_${name}_REACHABLE ${reachable} CACHE INTERNAL "")
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/LayerOf.cmake)

# vx_layer_sources(<out> <layer> <files...>): those of the files (relative to the
# project root) that belong to the layer.
function(vx_layer_sources out layer)
  set(result)
  foreach(file IN LISTS ARGN)
    vx_layer_of(owner ${file})
    if(owner STREQUAL layer)
      list(APPEND result ${file})
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# vx_check_layers(<target> ROOTS <dirs...> [FORBIDDEN <prefixes...>])
# A target, built before every layer's library, that fails when a file under
# ROOTS belongs to no layer, includes a file of a layer its own cannot reach, or
# includes anything under one of the FORBIDDEN prefixes (the simulator, tests).
function(vx_check_layers target)
  cmake_parse_arguments(ARG "" "" "ROOTS;FORBIDDEN" ${ARGN})
  set(files)
  foreach(root IN LISTS ARG_ROOTS)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}
      ${PROJECT_SOURCE_DIR}/${root}/*.h ${PROJECT_SOURCE_DIR}/${root}/*.cpp)
    list(APPEND files ${found})
  endforeach()
  set(table "# Generated: the layer table of ${PROJECT_SOURCE_DIR}.\n")
  foreach(layer IN LISTS VX_LAYERS)
    string(APPEND table "set(VX_LAYER_${layer}_PATHS \"${VX_LAYER_${layer}_PATHS}\")\n")
    string(APPEND table "set(VX_LAYER_${layer}_REACHABLE \"${VX_LAYER_${layer}_REACHABLE}\")\n")
  endforeach()
  string(APPEND table "set(VX_LAYERS \"${VX_LAYERS}\")\n")
  string(APPEND table "set(VX_FORBIDDEN \"${ARG_FORBIDDEN}\")\n")
  string(APPEND table "set(VX_FILES \"${files}\")\n")
  set(table_file ${PROJECT_BINARY_DIR}/layers/${target}.cmake)
  file(CONFIGURE OUTPUT ${table_file} CONTENT "${table}" @ONLY)
  set(stamp ${PROJECT_BINARY_DIR}/layers/${target}.stamp)
  list(TRANSFORM files PREPEND ${PROJECT_SOURCE_DIR}/ OUTPUT_VARIABLE absolute)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DTABLE=${table_file} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DSTAMP=${stamp}
      -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake
    DEPENDS ${absolute} ${table_file} ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake
      ${PROJECT_SOURCE_DIR}/cmake/LayerOf.cmake
    COMMENT "Checking the layers' includes"
    VERBATIM)
  add_custom_target(${target} DEPENDS ${stamp})
endfunction()

# vx_add_layer_library(<layer> FILES <files...>)
# The library Vx<layer> (alias Vx::<layer>) of those FILES (relative to the
# project root) that belong to the layer, linking the layers it depends on; a
# layer of headers alone is an INTERFACE library.
function(vx_add_layer_library layer)
  cmake_parse_arguments(ARG "" "" "FILES" ${ARGN})
  vx_layer_sources(files ${layer} ${ARG_FILES})
  list(TRANSFORM files PREPEND ${PROJECT_SOURCE_DIR}/)
  set(sources ${files})
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  set(target Vx${layer})
  if(sources)
    add_library(${target} STATIC ${files})
    set(scope PUBLIC)
    vx_target_settings(${target} WARNINGS)
  else()
    add_library(${target} INTERFACE ${files})
    set(scope INTERFACE)
  endif()
  add_library(Vx::${layer} ALIAS ${target})
  target_include_directories(${target} ${scope} $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
  foreach(dependency IN LISTS VX_LAYER_${layer}_DEPENDS)
    target_link_libraries(${target} ${scope} Vx${dependency})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY VX_LAYER_LIBRARIES ${target})
endfunction()
