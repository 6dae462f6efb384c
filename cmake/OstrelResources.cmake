# Copies resources/ into the build tree's share/ostrel folder, so the build tree
# has the same layout as an installed tree.
file(GLOB_RECURSE OSTREL_RESOURCE_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*)
set(_stamp ${CMAKE_BINARY_DIR}/resources.stamp)
add_custom_command(
  OUTPUT ${_stamp}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${OSTREL_RESOURCE_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/resources ${OSTREL_RESOURCE_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${_stamp}
  DEPENDS ${OSTREL_RESOURCE_FILES}
  COMMENT "Copying resources")
add_custom_target(ostrel_resources ALL DEPENDS ${_stamp})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/ DESTINATION share/ostrel
        PATTERN "*.desktop" EXCLUDE
        PATTERN "desktop" EXCLUDE
        PATTERN "screen-keys.txt" EXCLUDE)
