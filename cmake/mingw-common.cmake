# Shared part of the Windows cross toolchains (cmake/mingw-i686.cmake and
# cmake/mingw-x86_64.cmake): Debian's mingw-w64 compilers, linked statically
# so that every program and DLL runs on a bare Windows (or wine) without the
# compiler's runtime DLLs beside it, and wine as the emulator through which
# CMake and CTest run what is built.
#
# The including file sets OPSTATION_MINGW_TRIPLE (i686-w64-mingw32 or
# x86_64-w64-mingw32) and CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)  # Windows 7 and later

# The -posix flavour of the compilers: its C++ library has std::thread and
# std::mutex, which the -win32 flavour of GCC 12 lacks.
set(CMAKE_C_COMPILER ${OPSTATION_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OPSTATION_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OPSTATION_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${OPSTATION_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into each binary.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)

# Programs built here run under wine, in a wine prefix of the build's own
# (never the user's ~/.wine): OPSTATION_WINEPREFIX, by default wine-prefix/
# in the build folder. tools/wine-run.sh prepares it on first use.
if(NOT OPSTATION_WINEPREFIX)
  set(OPSTATION_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh --prefix ${OPSTATION_WINEPREFIX} --)
