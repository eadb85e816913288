# SPDX-License-Identifier: Apache-2.0
# The Debian package of the three programs with everything install() puts beside them. Built by
# `make package` (or `cmake --build BUILD_DIR --target package`) as
# BUILD_DIR/veltra-device-finder_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltra-device-finder)
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find and configure Orvane network devices")
# The long description, wrapped within the 80 columns that dpkg and lintian expect.
set(CPACK_PACKAGE_DESCRIPTION
    "Veltra Device Finder finds the Orvane network devices (VeltraNET, Panoryx
and Motilux families) on the local network with a UDP broadcast protocol of
its own, lists them in a table and changes a device's host name and DHCP or
static addressing whatever its current IP address. It opens a device's web
page and exports devices for the Quillo companion application.
.
The package holds the desktop program veltra-device-finder, the command-line
companion veltra-find and the device simulator veltra-devsim, with manual
pages and bash completion.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
if(NOT CPACK_DEBIAN_PACKAGE_MAINTAINER)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Veltra Device Finder maintainers <maintainers@veltra-device-finder.invalid>")
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The library dependencies come from the binaries (dpkg-shlibdeps); the platform plugins that Qt
# loads at run time to open a window, and the SQLite driver the device history opens its file with,
# are no link dependency, so they are named here; so are Qt's own translations (qtbase_<language>.qm),
# which the desktop program loads beside its embedded ones.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# What the package puts in /etc (the ufw application profile) is the administrator's to edit: dpkg
# keeps their changes on upgrade.
file(WRITE ${CMAKE_BINARY_DIR}/conffiles "/etc/ufw/applications.d/veltra-device-finder\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/conffiles)

include(CPack)
