# Which frpc the client runs. The supervisor looks among the resources first, then on PATH:
#   OSTREL_FRPC_PATH given   that frpc is shipped: lib/ostrel/frpc, linked from share/ostrel/frpc
#   devtools on              the stand-in among the build tree's resources, so `make run` and the
#                            tests work anywhere; installed only with --component devtools
#   neither                  nothing is shipped: the user's own frpc on PATH
set(_frpc_link [[
  file(MAKE_DIRECTORY "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/ostrel")
  file(CREATE_LINK ../../lib/ostrel/frpc "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/ostrel/frpc" SYMBOLIC)
]])
if(OSTREL_FRPC_PATH)
  add_custom_command(
    OUTPUT ${OSTREL_RESOURCE_DIR}/frpc
    COMMAND ${CMAKE_COMMAND} -E make_directory ${OSTREL_RESOURCE_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${OSTREL_FRPC_PATH} ${OSTREL_RESOURCE_DIR}/frpc
    DEPENDS ${OSTREL_FRPC_PATH}
    COMMENT "Copying frpc from ${OSTREL_FRPC_PATH}")
  add_custom_target(ostrel_frpc ALL DEPENDS ${OSTREL_RESOURCE_DIR}/frpc)
  install(PROGRAMS ${OSTREL_FRPC_PATH} DESTINATION lib/ostrel RENAME frpc)
  install(CODE "${_frpc_link}")
elseif(OSTREL_BUILD_DEVTOOLS)
  set_target_properties(frpc_standin PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${OSTREL_RESOURCE_DIR})
  add_custom_target(ostrel_frpc ALL DEPENDS frpc_standin)
  install(TARGETS frpc_standin RUNTIME DESTINATION lib/ostrel COMPONENT devtools EXCLUDE_FROM_ALL)
  install(CODE "${_frpc_link}" COMPONENT devtools EXCLUDE_FROM_ALL)
else()
  # A stand-in left from an earlier configuration with devtools must not pass for the real one.
  file(REMOVE ${OSTREL_RESOURCE_DIR}/frpc)
  add_custom_target(ostrel_frpc)
endif()
