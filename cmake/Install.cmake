# What `cmake --install` puts where (GNUInstallDirs below the prefix):
#
#   bin/op-station                             the panel
#   bin/op-station-drive-host                  runs the drive library for them
#   bin/op-station-run                         the panel without a window, driven by a script
#   bin/op-station-serve                       the panel in a web browser
#   share/man/man1/<program>.1.gz              the manual pages of the programs
#   share/doc/op-station/examples/             our drive's scripts and golden transcripts
#   <libdir>/op-station/libdrive.so            our simulated drive, private:
#                                              the panel's RUNPATH finds it
#   bin/op-station-wine                        the panel on a Windows drive.dll
#   <libdir>/op-station/op-station-drive-host-<arch>.exe
#                                              the Windows drive hosts, run by wine
#                                              for a Windows drive library
#   include/opstation/drive_api.h              the contract for drive libraries
#   <libdir>/cmake/OpStation/                  find_package(OpStation)
#   share/applications/<id>.desktop            the desktop's menu entry
#   share/metainfo/<id>.metainfo.xml           the software centre's record
#   share/icons/hicolor/NxN/apps/op-station.png
#
# The panel is only installed with the window (OPSTATION_BUILD_UI); the drive
# library and the development files are installed either way.
include(CMakePackageConfigHelpers)

set(OPSTATION_APP_ID "org.example.opstation")
set(OPSTATION_PRIVATE_LIBDIR "${CMAKE_INSTALL_LIBDIR}/op-station")
set(OPSTATION_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/OpStation")
set(OPSTATION_ICON_SIZES 32 48 64 128 256)

# Manual pages are shipped compressed, without a time stamp, so the bytes
# stay the same.
function(opstation_install_manual page)
  get_filename_component(name ${page} NAME)
  set(compressed ${PROJECT_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" gzip ${page} ${compressed}
    DEPENDS ${page}
    COMMENT "Compressing the manual page ${name}"
    VERBATIM)
  add_custom_target(${name}-manual ALL DEPENDS ${compressed})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
endfunction()

# The drive host lies beside the panel, with the same RUNPATH, so that it
# finds libdrive.so where the panel would.
install(TARGETS op-station-drive-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
opstation_install_manual(${PROJECT_SOURCE_DIR}/drivehost/op-station-drive-host.1)

# The simulated drive: a private library, never on the system's search path.
install(TARGETS drivesim
  LIBRARY DESTINATION ${OPSTATION_PRIVATE_LIBDIR} COMPONENT runtime
  NAMELINK_SKIP)

# The runner has no window, so it is installed with or without the panel.
# Its RUNPATH finds the simulated drive as the panel's does.
install(TARGETS op-station-run EXPORT OpStationTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
opstation_install_manual(${PROJECT_SOURCE_DIR}/runner/op-station-run.1)
# Our simulated drive's walk-throughs, with their golden transcripts: example
# scripts for drive library authors, where Debian keeps a package's
# documentation.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/drivesim/scripts/
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/op-station/examples COMPONENT development)

# The browser station has no window either, and the same RUNPATH; its page
# is inside the program.
if(TARGET op-station-serve)
  install(TARGETS op-station-serve RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  opstation_install_manual(${PROJECT_SOURCE_DIR}/serve/op-station-serve.1)
endif()

# The Windows drive hosts that the cross builds made (make test-windows; a
# build without them installs none, and a Windows drive library then gets
# a message saying that its host is missing), and the launcher for a
# Windows drive library.
if(TARGET op-station-wine)
  foreach(arch IN LISTS OPSTATION_WINDOWS_ARCHS)
    install(PROGRAMS ${OPSTATION_WINDOWS_BUILD}/${arch}/bin/op-station-drive-host-${arch}.exe
      DESTINATION ${OPSTATION_PRIVATE_LIBDIR} COMPONENT runtime OPTIONAL)
  endforeach()
  install(TARGETS op-station-wine RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  opstation_install_manual(${PROJECT_SOURCE_DIR}/winbridge/op-station-wine.1)
endif()

# The development files: the header and the package config, whose imported
# target OpStation::drive_api carries the header's folder and the flags a
# drive library is built with.
set_target_properties(opstation_drive_api PROPERTIES EXPORT_NAME drive_api)
install(TARGETS opstation_drive_api EXPORT OpStationTargets)
install(FILES ${PROJECT_SOURCE_DIR}/drivelib/include/opstation/drive_api.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/opstation COMPONENT development)
install(EXPORT OpStationTargets
  NAMESPACE OpStation::
  DESTINATION ${OPSTATION_CMAKE_DIR}
  COMPONENT development)
configure_package_config_file(
  ${PROJECT_SOURCE_DIR}/packaging/OpStationConfig.cmake.in
  ${PROJECT_BINARY_DIR}/packaging/OpStationConfig.cmake
  INSTALL_DESTINATION ${OPSTATION_CMAKE_DIR})
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/packaging/OpStationConfigVersion.cmake
  COMPATIBILITY SameMajorVersion
  ARCH_INDEPENDENT)
install(FILES
  ${PROJECT_BINARY_DIR}/packaging/OpStationConfig.cmake
  ${PROJECT_BINARY_DIR}/packaging/OpStationConfigVersion.cmake
  ${PROJECT_SOURCE_DIR}/packaging/OpStationScriptTest.cmake
  DESTINATION ${OPSTATION_CMAKE_DIR}
  COMPONENT development)

if(TARGET op-station)
  install(TARGETS op-station RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  opstation_install_manual(${PROJECT_SOURCE_DIR}/ui/op-station.1)

  configure_file(${PROJECT_SOURCE_DIR}/packaging/op-station.desktop.in
    ${PROJECT_BINARY_DIR}/packaging/${OPSTATION_APP_ID}.desktop @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/op-station.metainfo.xml.in
    ${PROJECT_BINARY_DIR}/packaging/${OPSTATION_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/${OPSTATION_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT runtime)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/${OPSTATION_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT runtime)

  # The icon theme's sizes, rendered at build time from the window's own
  # 32 x 32 pixel map, so the artwork has one source.
  add_executable(op-station-icon ${PROJECT_SOURCE_DIR}/packaging/icon_main.cpp)
  target_link_libraries(op-station-icon PRIVATE opstation_ui)
  set(icon_dir ${PROJECT_BINARY_DIR}/packaging/icons)
  set(icon_files)
  foreach(size IN LISTS OPSTATION_ICON_SIZES)
    list(APPEND icon_files ${icon_dir}/${size}x${size}/apps/op-station.png)
  endforeach()
  add_custom_command(OUTPUT ${icon_files}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            $<TARGET_FILE:op-station-icon> ${icon_dir} ${OPSTATION_ICON_SIZES}
    DEPENDS op-station-icon
    COMMENT "Rendering the icon at ${OPSTATION_ICON_SIZES} px"
    VERBATIM)
  add_custom_target(op-station-icons ALL DEPENDS ${icon_files})
  foreach(size IN LISTS OPSTATION_ICON_SIZES)
    install(FILES ${icon_dir}/${size}x${size}/apps/op-station.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT runtime)
  endforeach()
endif()
