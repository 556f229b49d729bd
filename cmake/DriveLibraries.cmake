# What makes a shared library a drive library on this platform: the file
# name the panel loads (libdrive.so on Linux, drive.dll on Windows) and, on
# Windows, the four entry points exported under their plain names. A
# standard-call function is exported as name@N by mingw; --kill-at exports
# it as plain name, as a module-definition file would.
if(WIN32)
  set(OPSTATION_DRIVE_FILE drive.dll)
else()
  set(OPSTATION_DRIVE_FILE libdrive.so)
endif()

function(opstation_drive_library_file target)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME drive PREFIX "")
  if(NOT WIN32)
    set_target_properties(${target} PROPERTIES PREFIX lib)
  else()
    target_link_options(${target} PRIVATE -Wl,--kill-at)
  endif()
endfunction()

# A program that loads libdrive.so by name finds our simulated drive beside
# it through its RUNPATH, in the build tree and where it is installed;
# LD_LIBRARY_PATH comes first. (On Windows drive.dll is looked for beside
# the program by the loader itself.)
function(opstation_finds_our_drive target)
  if(WIN32)
    return()
  endif()
  set_target_properties(${target} PROPERTIES
    BUILD_RPATH "$ORIGIN"
    BUILD_RPATH_USE_ORIGIN ON
    INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}/op-station")
  target_link_options(${target} PRIVATE "LINKER:--enable-new-dtags")
endfunction()
