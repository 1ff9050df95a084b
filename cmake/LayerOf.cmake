# Shared by the configure step (Layers.cmake) and the build step's check
# (CheckLayers.cmake), which both have the table in VX_LAYERS and
# VX_LAYER_<layer>_PATHS.

# vx_layer_of(<out> <file>): the layer of a file given relative to the project
# root, or "" when no layer holds it.
function(vx_layer_of out file)
  set(best "")
  set(best_length -1)
  foreach(layer IN LISTS VX_LAYERS)
    foreach(prefix IN LISTS VX_LAYER_${layer}_PATHS)
      set(full ${prefix})
      string(LENGTH "${full}" length)
      string(FIND "${file}" "${full}" position)
      if(position EQUAL 0 AND length GREATER best_length)
        set(best ${layer})
        set(best_length ${length})
      endif()
    endforeach()
  endforeach()
  set(${out} "${best}" PARENT_SCOPE)
endfunction()
