# The Debian package, made by scripts/package with CPack:
# veltra_<project version>_<architecture>.deb holding what `cmake --install`
# puts into /usr. Its library dependencies are computed by dpkg-shlibdeps from
# the programs (SQLite among them: the scene table is read through its own
# library); the Qt platform plugins are loaded at run time, so they are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "${VELTRA_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${VELTRA_SUMMARY}")
set(CPACK_PACKAGE_DESCRIPTION "${VELTRA_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The platform plugins (X11, Wayland) are plugins: no program links them, so
# dpkg-shlibdeps cannot find them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Qt's Wayland platform plugin: without it the console runs through XWayland
# on a Wayland desktop (Debian's GNOME session).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
# The captures open in Wireshark with the dissector the package installs.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wireshark | tshark")
# veltra-bridge's configuration is the administrator's once installed.
if(TARGET veltra-bridge)
  file(WRITE ${CMAKE_BINARY_DIR}/debian/conffiles "/etc/veltra/bridge.toml\n")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/conffiles)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "${CPACK_DEBIAN_PACKAGE_SUGGESTS}, mosquitto")
endif()
include(CPack)
