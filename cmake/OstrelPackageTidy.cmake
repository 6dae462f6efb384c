# Run by CPack on the staged install tree before it is packed.
file(GLOB_RECURSE _caches ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/mimeinfo.cache)
if(_caches)
  file(REMOVE ${_caches})
endif()
# A given frpc (OSTREL_FRPC_PATH) is installed as a plain program, which CPack does not strip.
file(GLOB_RECURSE _frpc ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/lib/ostrel/frpc)
if(_frpc AND CPACK_OSTREL_STRIP)
  execute_process(COMMAND ${CPACK_OSTREL_STRIP} --strip-unneeded ${_frpc} RESULT_VARIABLE _failed)
  if(_failed)
    message(FATAL_ERROR "cannot strip ${_frpc}")
  endif()
endif()
