# Debian package of the window program: `cpack -G DEB` in a build folder configured with
# -DCMAKE_INSTALL_PREFIX=/usr (or simply `cpack -G DEB`: the package installs under /usr either way).
# It carries everything the install rules place: the program, the desktop entry, the icons and the
# udev rule for the adaptors.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "corvane-update-tool")
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware updater for Corvane drive enclosures and docks")
set(CPACK_PACKAGE_CONTACT "Corvane Technical Support <support@corvane.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_PACKAGE_SECTION "admin")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_STRIP_FILES ON)
# Library dependencies come from the binaries themselves (dpkg-shlibdeps); the icon theme and udev
# are what the installed files are for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, udev, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Finds an attached Corvane enclosure or dock, tells whether its bridge firmware is current and, on a click, writes and verifies the new firmware. A udev rule gives the logged-in user access to the adaptor, so the tool does not need root.")
include(CPack)
