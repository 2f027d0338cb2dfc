# CPack settings for the .deb: `cmake --build <dir> --target package` writes
# qelpupd_<version>_<arch>.deb into the build directory. scripts/check-package.sh builds, installs and
# exercises it.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qelpupd)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "QelpUpd maintainers")
# Debian requires a name and an address; set the team's real one when configuring.
set(QELPUPD_PACKAGE_MAINTAINER "QelpUpd maintainers <qelpupd@localhost>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${QELPUPD_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware update tool for QELP devices on RS-232")
set(CPACK_PACKAGE_DESCRIPTION
"QelpUpd replaces the firmware of a QELP device attached to a serial port.
It takes the update data file 7118K*.UPF from the folder it is started in,
asks whether the device hangs on COM1 (/dev/ttyS0) or COM2 (/dev/ttyS1),
shows the device's console output and sends the file when the device asks
for it. The window and its messages are in Japanese.

The package also holds qelp-device-simulator, which plays a QELP device on a
pseudo-terminal so that operators can rehearse an update without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debian ships stripped executables; the build's debug information stays in the build tree.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries (Qt 6 widgets among them) come from dpkg-shlibdeps; the font is loaded at run time,
# so no library names it: without it the Japanese texts show as empty boxes.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
