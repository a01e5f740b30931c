# Faults around tarvex-demo's store file: each run that cannot use the file
# ends with status 3 and the reason, and what was committed before stays and
# is read back whole by the next run.
# Usage: cmake -DDEMO=<tarvex-demo> -DSQLITE=<sqlite3 shell> -DDIR=<scratch directory>
#              -DCASE=<case> -P CheckDemoStore.cmake
# Cases: NotADatabase, OtherLayout, NoWritePermission, DiskFull, Killed.

file(REMOVE_RECURSE ${DIR})
file(MAKE_DIRECTORY ${DIR})
set(store ${DIR}/objects.db)

# demo(<status> <stderr regex or ""> <args>...): runs the demo on the store
# file; its report lands in `report`.
function(demo status errors)
  execute_process(COMMAND ${DEMO} --store ${store} ${ARGN} OUTPUT_VARIABLE out
                  ERROR_VARIABLE err RESULT_VARIABLE result)
  if(NOT result STREQUAL status)
    message(FATAL_ERROR "status ${result} instead of ${status} (${ARGN}):\n${out}${err}")
  endif()
  if(errors AND NOT err MATCHES "${errors}")
    message(FATAL_ERROR "stderr does not say \"${errors}\":\n${err}")
  endif()
  set(report "${out}" PARENT_SCOPE)
endfunction()

# A first run's objects, then the fault, then a run that reads every one back.
function(saved_verified_after_fault)
  demo(0 "" --threads 2 --requests 40 --store-every 1)
  if(NOT report MATCHES "80 objects saved")
    message(FATAL_ERROR "the first run did not save its 80 objects:\n${report}")
  endif()
  file(SHA256 ${store} before)
  set(before ${before} PARENT_SCOPE)
endfunction()

function(expect_verified at_least)
  demo(0 "" --threads 1 --requests 4)
  if(NOT report MATCHES "  ([0-9]+) objects verified before the run")
    message(FATAL_ERROR "no verification before the run:\n${report}")
  endif()
  if(CMAKE_MATCH_1 LESS at_least)
    message(FATAL_ERROR "${CMAKE_MATCH_1} objects read back, at least ${at_least} committed:\n${report}")
  endif()
  message(STATUS "${CMAKE_MATCH_1} committed objects read back whole")
endfunction()

if(CASE STREQUAL "NotADatabase")
  file(WRITE ${store} "parts list, not a database\n")
  file(SHA256 ${store} before)
  demo(3 "objects.db: .*not an SQLite database" --threads 1 --requests 4)
  file(SHA256 ${store} after)
elseif(CASE STREQUAL "OtherLayout")
  execute_process(COMMAND ${SQLITE} ${store} "CREATE TABLE parts(name TEXT); PRAGMA user_version = 7;"
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "the sqlite3 shell could not make the other database")
  endif()
  file(SHA256 ${store} before)
  demo(3 "objects.db: the database has another layout" --threads 1 --requests 4)
  file(SHA256 ${store} after)
elseif(CASE STREQUAL "NoWritePermission")
  saved_verified_after_fault()
  file(CHMOD ${store} PERMISSIONS OWNER_READ GROUP_READ WORLD_READ)
  # Permissions do not hold root back: the run is made as nobody then.
  execute_process(COMMAND id -u OUTPUT_VARIABLE user OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(run_as)
  if(user STREQUAL "0")
    find_program(SETPRIV setpriv)
    if(NOT SETPRIV)
      message(STATUS "run as root without setpriv: skipped")
      return()
    endif()
    set(run_as ${SETPRIV} --reuid=65534 --regid=65534 --clear-groups)
  endif()
  execute_process(COMMAND ${run_as} ${DEMO} --store ${store} --threads 1 --requests 4
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE result)
  if(NOT result STREQUAL "3" OR NOT err MATCHES "objects.db: .*cannot be written")
    message(FATAL_ERROR "status ${result} and not the reason:\n${out}${err}")
  endif()
  file(SHA256 ${store} after)
  file(CHMOD ${store} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  expect_verified(80)
elseif(CASE STREQUAL "DiskFull")
  saved_verified_after_fault()
  # A file size limit stands for the full disk; the shell sets it.
  file(SIZE ${store} size)
  math(EXPR blocks "(${size} + 65536) / 512")
  execute_process(COMMAND sh -c "ulimit -f ${blocks} && exec \"$@\"" sh ${DEMO} --store ${store}
                          --threads 2 --requests 200000 --store-every 1
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE result)
  if(NOT result STREQUAL "3" OR NOT err MATCHES "objects.db: .*no room left")
    message(FATAL_ERROR "status ${result} and not the reason:\n${out}${err}")
  endif()
  expect_verified(80)
  return()
elseif(CASE STREQUAL "Killed")
  # Killed (SIGKILL, at the timeout) in the middle of its requests.
  execute_process(COMMAND ${DEMO} --store ${store} --threads 2 --requests 1000000 --store-every 1
                  TIMEOUT 2 RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
  if(result EQUAL 0)
    message(FATAL_ERROR "the run ended before it was killed")
  endif()
  expect_verified(1)
  return()
else()
  message(FATAL_ERROR "unknown case ${CASE}")
endif()

if(NOT before STREQUAL after)
  message(FATAL_ERROR "the refused file was changed")
endif()
