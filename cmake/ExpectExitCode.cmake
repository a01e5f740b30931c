# Runs a program and fails unless it ends with the expected exit code; for
# tests that need a particular failure, not merely some failure. Needs no
# shell, so it runs the same on every host, through an emulator if given.
# Usage: cmake -DEXPECTED=<code> [-DEMULATOR=<list>] -DPROGRAM=<path>
#              [-DARGS=<arg>|<arg>...] [-DOUTPUT=<file>] -P ExpectExitCode.cmake
# OUTPUT receives the program's standard output (/dev/full: none can be written).
string(REPLACE "|" ";" ARGS "${ARGS}")
set(output)
if(DEFINED OUTPUT)
  set(output OUTPUT_FILE ${OUTPUT})
endif()
execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGS} ${output} RESULT_VARIABLE status)
if(NOT status STREQUAL "${EXPECTED}")
  message(FATAL_ERROR "${PROGRAM} ${ARGS}: exit code ${status}, expected ${EXPECTED}")
endif()
