# Packages made by `cpack` in the build folder: a Debian package and a .tar.gz on Linux, a .zip
# from the mingw build. Version from project(); the installed files are those of Install.cmake.
set(CPACK_PACKAGE_NAME boardstat)
set(CPACK_PACKAGE_VENDOR "boardstat developers")
set(BOARDSTAT_PACKAGE_MAINTAINER
    "Seed 088612fd maintainers <maintainers@users.noreply.c-seed-088612fd.example>"
    CACHE STRING "Maintainer field of the Debian package (name <address>)")
set(CPACK_PACKAGE_CONTACT "${BOARDSTAT_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "board statistics console for Camera Link frame grabber boards")
set(CPACK_PACKAGE_DESCRIPTION
    "boardstat shows the live register state of PCI Express frame grabber boards
with Camera Link cameras in a text console: the camera interface, pixel
routing, acquisition, buffer and packet engines, timing sequencer, I/O box and
live signal rates, one acquisition channel (VFG) at a time.
.
The programs read the boards through the vendor's board access libraries
(libLmd.so and libKvD.so), which they load when they start; the variable
BOARDSTAT_BOARD_LIBRARY names another. A simulated board comes with them, in
its own library, used only when asked for (BOARDSTAT_BOARD_LIBRARY=sim, or
BOARDSIM_CONFIG naming a description); its built-in description is in
/usr/share/doc/boardstat.")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "boardstat-${PROJECT_VERSION}-win64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR TGZ)
  find_program(BOARDSTAT_DPKG_DEB dpkg-deb)
  if(BOARDSTAT_DPKG_DEB)
    list(PREPEND CPACK_GENERATOR DEB)
  endif()
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Dependencies as dpkg-shlibdeps finds them in the installed programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# The exporter's service in the .deb behaves as in Debian's service packages: maintainer scripts
# enable and start it on install, restart it on upgrade, stop it on removal and remove its
# enablement on purge; its flags file is a conffile, kept when changed.
if(TARGET boardstat_exporter AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
  file(WRITE ${PROJECT_BINARY_DIR}/packaging/conffiles "${BOARDSTAT_EXPORTER_DEFAULTS}\n")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
      ${PROJECT_BINARY_DIR}/packaging/conffiles ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
      ${PROJECT_SOURCE_DIR}/packaging/debian/prerm ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
endif()

# Read by cpack once for each generator. An archive is staged in a folder of cpack's and
# unpacked into this build's prefix: that is the prefix the exporter's unit must name.
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/packaging/CPackProjectConfig.cmake CONTENT [[
if(CPACK_GENERATOR MATCHES "^(TGZ|TXZ|TBZ2|TZST|TZ|ZIP|7Z)$")
  set(ENV{BOARDSTAT_ARCHIVE_PREFIX} "@CMAKE_INSTALL_PREFIX@")
else()
  unset(ENV{BOARDSTAT_ARCHIVE_PREFIX})
endif()
]] @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/packaging/CPackProjectConfig.cmake)

include(CPack)
