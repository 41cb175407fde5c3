# Debian package of both programs: `cpack -G DEB` in a build folder (build/ci in the test command).
# It carries everything the install rules place: the window and the command line, a manual page for
# each, the desktop entry, the AppStream metadata, the icons, the udev rule for the adaptors, and the
# copyright file and changelog that every Debian package has. scripts/check-package.sh builds it,
# runs lintian on it and installs it into a throw-away Debian root.
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
# Lines of the long description stay below 80 columns (lintian); CPack indents each one.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Finds an attached Corvane enclosure or dock (USB, USB Attached SCSI or\n"
    "FireWire), tells whether its bridge firmware is current and, on a click,\n"
    "writes and verifies the new firmware. A udev rule gives the logged-in user\n"
    "access to the adaptor, so the tool does not need root.\n"
    ".\n"
    "This package holds the window, corvane-update-tool, and the command line,\n"
    "corvane-update, which also saves a backup of the bridge before it writes.")

if(CORVANE_PLATFORM STREQUAL "Linux")
  include(GNUInstallDirs)
  # Debian wants manual pages and the changelog compressed with gzip -9, without a time stamp
  # (-n), so that two builds of one source give the same package.
  find_program(CORVANE_GZIP gzip REQUIRED)
  set(corvane_package_dir ${CMAKE_BINARY_DIR}/package)
  set(corvane_package_files)
  foreach(page corvane-update.1 corvane-update-tool.1)
    configure_file(${PROJECT_SOURCE_DIR}/resources/man/${page}.in ${corvane_package_dir}/${page} @ONLY)
    add_custom_command(
      OUTPUT ${corvane_package_dir}/${page}.gz
      COMMAND ${CORVANE_GZIP} -9nf -k ${corvane_package_dir}/${page}
      DEPENDS ${corvane_package_dir}/${page}
      VERBATIM)
    list(APPEND corvane_package_files ${corvane_package_dir}/${page}.gz)
    install(FILES ${corvane_package_dir}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  # The package's version is the project's, so it is a Debian native package: its changelog is
  # changelog.gz (scripts/check-package.sh checks that its newest entry is this version).
  configure_file(${PROJECT_SOURCE_DIR}/resources/debian/changelog ${corvane_package_dir}/changelog
                 COPYONLY)
  add_custom_command(
    OUTPUT ${corvane_package_dir}/changelog.gz
    COMMAND ${CORVANE_GZIP} -9nf -k ${corvane_package_dir}/changelog
    DEPENDS ${corvane_package_dir}/changelog
    VERBATIM)
  list(APPEND corvane_package_files ${corvane_package_dir}/changelog.gz)
  add_custom_target(corvane_package_files ALL DEPENDS ${corvane_package_files})
  set(corvane_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
  install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/copyright ${corvane_package_dir}/changelog.gz
          DESTINATION ${corvane_doc_dir})
  # A stripped program still carries the compilers' .comment and the .note section; dh_strip
  # removes both from every Debian package, and so does the package here, right after CMake's own
  # strip (these rules run after the programs' install rules).
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(program corvane-update corvane-update-tool)
        execute_process(
          COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
          COMMAND_ERROR_IS_FATAL ANY)
      endforeach()
    endif()")
  configure_file(${PROJECT_SOURCE_DIR}/resources/example.corvane.update_tool.metainfo.xml.in
                 ${corvane_package_dir}/example.corvane.update_tool.metainfo.xml @ONLY)
  install(FILES ${corvane_package_dir}/example.corvane.update_tool.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
include(CPack)
