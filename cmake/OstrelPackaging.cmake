# Desktop files that are not resources of the program (AppStream metainfo, man page, Debian
# documentation) and the Debian package built from the install tree by CPack (`make package`).
include(GNUInstallDirs)

set(_desktop ${CMAKE_SOURCE_DIR}/resources/desktop)
install(FILES ${_desktop}/io.ostrel.Ostrel.metainfo.xml DESTINATION share/metainfo)

# Debian wants compressed manual pages and documentation, without time stamps.
find_program(OSTREL_GZIP gzip REQUIRED)
set(_doc_build ${CMAKE_BINARY_DIR}/share/doc-build)
set(_man ${_doc_build}/ostrel.1.gz)
set(_changelog ${_doc_build}/changelog.Debian.gz)
add_custom_command(
  OUTPUT ${_man} ${_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_doc_build}
  COMMAND ${OSTREL_GZIP} -9nc ${_desktop}/ostrel.1 > ${_man}
  COMMAND ${OSTREL_GZIP} -9nc ${_desktop}/changelog > ${_changelog}
  DEPENDS ${_desktop}/ostrel.1 ${_desktop}/changelog
  COMMENT "Compressing the manual page and the change log")
add_custom_target(ostrel_docs ALL DEPENDS ${_man} ${_changelog})
install(FILES ${_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_changelog} ${_desktop}/copyright DESTINATION share/doc/ostrel)
install(FILES ${_desktop}/lintian-overrides DESTINATION share/lintian/overrides RENAME ostrel)

# The hardening Debian's own builds get from dpkg-buildflags.
if(CMAKE_BUILD_TYPE STREQUAL "Release")
  add_compile_options(-D_FORTIFY_SOURCE=2 -fstack-protector-strong)
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostrel)
set(CPACK_PACKAGE_VERSION ${OstrelVersion})
set(CPACK_PACKAGE_VENDOR "The Ostrel developers")
set(CPACK_PACKAGE_CONTACT "The Ostrel developers <maintainers@users.noreply.c-seed-a7f5b265.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tray client that publishes local ports on the internet")
set(CPACK_PACKAGE_DESCRIPTION
    "Ostrel lives in the system tray and publishes ports of this computer on the\n"
    "internet, as HTTP under a subdomain of the service or as raw TCP. It runs one\n"
    "frpc process for every started tunnel and restarts it when it ends\n"
    "unexpectedly.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${OstrelBuild})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://ostrel.io/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The session token is kept by a Secret Service (over D-Bus through libsecret), which desktops
# other than GNOME may lack; the tray and notifications come with the desktop.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The desktop database is refreshed by desktop-file-utils' dpkg trigger on the target system,
# so the cache `make install` writes must not be shipped.
set(CPACK_OSTREL_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/OstrelPackageTidy.cmake)
include(CPack)
