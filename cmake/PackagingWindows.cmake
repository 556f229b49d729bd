# `make package-windows`: for each Windows cross build, one zip
# (build-windows/packages/op-station-<version>-windows-<arch>.zip) that a
# Windows user unzips and runs, without mingw and without an installer:
# the programs, the drive hosts of both widths (so that either download
# runs a 32-bit and a 64-bit drive.dll), our simulated drive as drive.dll,
# the manual pages as text, the example scripts and a README.txt. The
# other width's host comes from the other cross build, beside this one.
set(OPSTATION_ARCH ${OPSTATION_WINDOWS_ARCH})
set(other_arch ${OPSTATION_OTHER_WINDOWS_ARCH})
set(zip_root .)

install(TARGETS op-station-run op-station-drive-host RUNTIME DESTINATION ${zip_root})
if(TARGET op-station-serve)
  install(TARGETS op-station-serve RUNTIME DESTINATION ${zip_root})
endif()
install(PROGRAMS ${OPSTATION_WINDOWS_BUILD}/${other_arch}/bin/op-station-drive-host-${other_arch}.exe
  DESTINATION ${zip_root})
install(TARGETS drivesim RUNTIME DESTINATION ${zip_root} LIBRARY DESTINATION ${zip_root})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/drivesim/scripts/ DESTINATION ${zip_root}/examples)

# The manual pages as plain text, made with groff's text device.
find_program(OPSTATION_GROFF groff REQUIRED)
set(manual_pages runner/op-station-run.1 drivehost/op-station-drive-host.1)
if(TARGET op-station-serve)
  list(APPEND manual_pages serve/op-station-serve.1)
endif()
foreach(page IN LISTS manual_pages)
  get_filename_component(name ${page} NAME_WE)
  set(text ${PROJECT_BINARY_DIR}/packaging/${name}.txt)
  add_custom_command(OUTPUT ${text}
    COMMAND ${OPSTATION_GROFF} -man -Tascii -P-cbou ${PROJECT_SOURCE_DIR}/${page} > ${text}
    DEPENDS ${PROJECT_SOURCE_DIR}/${page}
    COMMENT "Writing the manual page ${name} as text"
    VERBATIM)
  add_custom_target(${name}-text ALL DEPENDS ${text})
  install(FILES ${text} DESTINATION ${zip_root})
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/README.txt ${PROJECT_BINARY_DIR}/packaging/README.txt @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/README.txt DESTINATION ${zip_root})

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME op-station)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME op-station-${PROJECT_VERSION}-windows-${OPSTATION_ARCH})
set(CPACK_PACKAGE_DIRECTORY ${OPSTATION_WINDOWS_BUILD}/packages)
set(CPACK_STRIP_FILES ON)
include(CPack)
