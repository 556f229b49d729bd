# Cross toolchain for 32-bit Windows (i686), the platform of drive.dll:
#
#   cmake -S . -B build-windows/i686 -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DOPSTATION_BUILD_UI=OFF
#
# See cmake/mingw-common.cmake; `make test-windows` does all of it.
set(OPSTATION_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
# Floating point in SSE2 registers, as on x86_64, not in the x87 unit: its
# 80-bit intermediates round differently, so our simulated drive's motor
# would cross a display step a cycle earlier or later than the native
# library's, and the same script would give another transcript.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
