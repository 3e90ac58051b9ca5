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

# What Debian wants beside the programs: the copyright file, the changelog (compressed, with
# no time stamp in the compressed file) and the AppStream metadata for software centres. The
# changelog's latest entry must be this version.
set(lirvan_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/lirvan-service)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/debian/changelog lirvan_changelog_top LIMIT_COUNT 1)
if(NOT lirvan_changelog_top MATCHES "^lirvan-service \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog: the latest entry is not version ${PROJECT_VERSION}: "
                      "${lirvan_changelog_top}")
endif()
set(lirvan_changelog_gz ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${lirvan_changelog_gz}
                   COMMAND gzip -9n -c ${CMAKE_CURRENT_LIST_DIR}/debian/changelog > ${lirvan_changelog_gz}
                   DEPENDS ${CMAKE_CURRENT_LIST_DIR}/debian/changelog)
add_custom_target(package_changelog ALL DEPENDS ${lirvan_changelog_gz})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${lirvan_changelog_gz} DESTINATION ${lirvan_doc_dir})

# Software centres show a screenshot only from a web address; without one the entry has none.
set(LIRVAN_SCREENSHOT_URL "" CACHE STRING "Web address of the window's picture for the AppStream entry")
set(lirvan_metainfo_screenshots "")
if(LIRVAN_SCREENSHOT_URL)
  string(CONCAT lirvan_metainfo_screenshots
         "  <screenshots>\n    <screenshot type=\"default\">\n"
         "      <caption>The configuration page and the status panel</caption>\n"
         "      <image>${LIRVAN_SCREENSHOT_URL}</image>\n    </screenshot>\n  </screenshots>\n")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/ru.lirvan.service.metainfo.xml
               ${CMAKE_BINARY_DIR}/packaging/ru.lirvan.service.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/ru.lirvan.service.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lirvan-service)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The package's maintainer, as Debian wants it: a name and a mail address.
set(LIRVAN_PACKAGE_MAINTAINER
    "LIRVAN NC-31 service tool maintainers <maintainers@users.noreply.c-seed-d0b310a1.example>"
    CACHE STRING "Maintainer of the Debian package: Name <address>")
set(CPACK_PACKAGE_CONTACT "${LIRVAN_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service tool for the ЛИРВАН НЦ-31 CNC module")
# The summary above is the synopsis; this is the extended description under it.
# Lines of at most 80 columns.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[
Shows the state of the ЛИРВАН НЦ-31 module of an НЦ-31 or МС-2109 CNC
over USB, reads and writes its configuration, memory images and I/O
registers, and updates its firmware. lirvan-cli does the same from a shell,
for scripts, backups and support logs. Includes a demo on a simulated module,
lirvan-sim-uhid, the simulated module as a virtual USB HID device, and
lirvan-sim-usb, the simulated module as a USB gadget on a device controller.
The udev rule gives the logged-in user access to the module. A user's guide
in Russian is in /usr/share/doc/lirvan-service/guide/guide.html.]=])
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
