# Cross toolchain for 64-bit Windows (x86_64). drive.dll is a 32-bit DLL;
# this build runs the same Windows code on machines that cannot execute
# 32-bit x86 code at all (see README.md, "Windows"):
#
#   cmake -S . -B build-windows/x86_64 -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DOPSTATION_BUILD_UI=OFF
set(OPSTATION_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
