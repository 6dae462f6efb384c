# Run by CPack on the staged install tree before it is packed.
file(GLOB_RECURSE _caches ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/mimeinfo.cache)
if(_caches)
  file(REMOVE ${_caches})
endif()
