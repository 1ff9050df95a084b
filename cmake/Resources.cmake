# vx_copy_resources(<target>)
# Copies the repository's Resources folder (skins and string tables) next to the
# target's executable, where the application looks for it, and again whenever a
# file in it changes.
function(vx_copy_resources target)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/Resources/*)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.resources.stamp)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/Resources $<TARGET_FILE_DIR:${target}>/Resources
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${files}
    COMMENT "Copying the resources next to ${target}"
    VERBATIM)
  add_custom_target(${target}_resources DEPENDS ${stamp})
  add_dependencies(${target} ${target}_resources)
endfunction()
