# Runs a program and fails unless it ends with the expected exit code; for
# tests that need a particular failure, not merely some failure. Needs no
# shell, so it runs the same on every host, through an emulator if given.
# Usage: cmake -DEXPECTED=<code> [-DEMULATOR=<list>] -DPROGRAM=<path>
#              [-DARGS=<arg>|<arg>...] [-DOUTPUT=<file>] [-DREADER_GONE=ON]
#              [-DREPORT=<regex>] [-DERRORS=<regex>] -P ExpectExitCode.cmake
# OUTPUT receives the program's standard output (/dev/full: none can be
# written); with READER_GONE it goes into a pipe whose reader ends at once.
# REPORT and ERRORS must match the program's standard output and error.
string(REPLACE "|" ";" ARGS "${ARGS}")
set(output OUTPUT_VARIABLE report)
if(DEFINED OUTPUT)
  set(output OUTPUT_FILE ${OUTPUT})
endif()
set(reader)
if(READER_GONE)
  set(reader COMMAND ${CMAKE_COMMAND} -E true)
  set(output)
endif()
execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGS} ${reader} ${output}
                ERROR_VARIABLE errors RESULTS_VARIABLE statuses)
list(GET statuses 0 status)
# Lines end in \r\n on Windows.
string(REPLACE "\r" "" report "${report}")
string(REPLACE "\r" "" errors "${errors}")
if(NOT status STREQUAL "${EXPECTED}")
  message(FATAL_ERROR "${PROGRAM} ${ARGS}: exit code ${status}, expected ${EXPECTED}\n${report}${errors}")
endif()
if(DEFINED REPORT AND NOT report MATCHES "${REPORT}")
  message(FATAL_ERROR "${PROGRAM} ${ARGS}: the output does not match \"${REPORT}\":\n${report}")
endif()
if(DEFINED ERRORS AND NOT errors MATCHES "${ERRORS}")
  message(FATAL_ERROR "${PROGRAM} ${ARGS}: standard error does not match \"${ERRORS}\":\n${errors}")
endif()
