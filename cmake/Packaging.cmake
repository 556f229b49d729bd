# `make package` (the `package` target): one Debian package, op-station, with
# everything cmake --install puts down, below /usr. Its dependencies are
# computed by dpkg-shlibdeps from the installed binaries.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "op-station")
set(CPACK_PACKAGE_VENDOR "The OP Station developers")
set(CPACK_PACKAGE_CONTACT "OP Station developers <op-station@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
  "OP Station shows the operator keypad of a variable-speed drive in one window: \
ten keys, seven LEDs and a two-line text display. A simulated drive library \
comes with it; the C header and CMake package for writing other drive \
libraries are included, and op-station-run, which runs the panel without a \
window from a script and gives a verdict, for testing drive libraries. \
Windows drive libraries (drive.dll) run through a bridge under wine: \
op-station-wine opens the panel on one. op-station-serve serves the panel \
as a web page that several browsers can open at once, to work it or to \
watch it.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://example.org/op-station/")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/packages")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Only Windows drive libraries need wine: the bridge says what to install
# when it is missing.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wine, wine64, wine32")
# libdrive.so is ours and private: no shlibs file names it. The panel loads
# it by name rather than linking it, but anything that did link it is
# resolved against the freshly built copy.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_LIBRARY_OUTPUT_DIRECTORY}")
# The desktop's menu and icon caches are refreshed by the triggers of the
# packages that own them; nothing of ours runs at install time.

include(CPack)
