# Cross toolchain for 32-bit Windows (i686), the platform of drive.dll:
#
#   cmake -S . -B build-windows/i686 -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DOPSTATION_BUILD_UI=OFF
#
# See cmake/mingw-common.cmake; `make test-windows` does all of it.
set(OPSTATION_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
