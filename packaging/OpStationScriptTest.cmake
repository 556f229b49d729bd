# One script test of opstation_add_script_test, run by CTest:
#
#   cmake -DRUNNER=... -DLIBRARY=... -DSCRIPT=... -DTRANSCRIPT=... [-DGOLDEN=...]
#         [-DIN_PROCESS=ON] -P OpStationScriptTest.cmake
#
# Runs the script with op-station-run on the library, then compares the
# transcript with the golden one, if any, showing a unified diff when they
# differ.
set(options --quiet --strict --library "${LIBRARY}" --transcript "${TRANSCRIPT}")
if(IN_PROCESS)
  list(APPEND options --in-process)
endif()
execute_process(COMMAND "${RUNNER}" ${options} "${SCRIPT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "op-station-run ended with status ${status} on ${SCRIPT} (1: an expectation failed, "
                      "2: the script or command line is wrong, 3: the drive library failed)")
endif()
if(NOT GOLDEN)
  return()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${GOLDEN}" "${TRANSCRIPT}" RESULT_VARIABLE differs)
if(differs)
  find_program(diff_program diff)
  if(diff_program)
    execute_process(COMMAND "${diff_program}" -u "${GOLDEN}" "${TRANSCRIPT}")
  endif()
  message(FATAL_ERROR "The transcript ${TRANSCRIPT} differs from the golden one ${GOLDEN}")
endif()
