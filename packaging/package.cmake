# The Debian package, built by CPack: lirvan-service_<version>_amd64.deb with the tool, the
# demo, lirvan-cli, lirvan-sim-uhid, lirvan-sim-usb, the desktop entry, the icon and the udev rule. Configure the package's
# build with the rule in the distribution's folder (./lirvan.sh package does):
#   cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release \
#         -DLIRVAN_UDEV_RULES_DIR=/usr/lib/udev/rules.d
#   cmake --build build-package && (cd build-package && cpack)
if(NOT LIRVAN_UDEV_RULES_DIR STREQUAL "/usr/lib/udev/rules.d")
  message(STATUS "Package: the udev rule goes to ${LIRVAN_UDEV_RULES_DIR}; a Debian package "
                 "wants -DLIRVAN_UDEV_RULES_DIR=/usr/lib/udev/rules.d")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lirvan-service)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "ЛИРВАН НЦ-31 service tool <lirvan-service@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service tool for the ЛИРВАН НЦ-31 CNC module")
# The summary above is the synopsis; this is the extended description under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[
Shows the state of the ЛИРВАН НЦ-31 module of an НЦ-31 or МС-2109 CNC over USB,
reads and writes its configuration, memory images and I/O registers, and updates
its firmware. lirvan-cli does the same from a shell, for scripts, backups and
support logs. Includes a demo on a simulated module, lirvan-sim-uhid, the
simulated module as a virtual USB HID device, and lirvan-sim-usb, the simulated
module as a USB gadget on a device controller. The udev rule gives the logged-in
user access to the module.]=])
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# <name>_<version>_<arch>.deb: no Debian revision is set, so none appears in the name.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Libraries from dpkg-shlibdeps; what the executables load at run time without linking it: the
# toolkit's X11/Wayland platform plugins, its Russian texts and the window's font.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${CMAKE_CURRENT_LIST_DIR}/debian/postinst;${CMAKE_CURRENT_LIST_DIR}/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
