# Runs tarvex-demo and holds its report to numbers worked out here from the
# options alone, so a count that drifts from what it names fails.
# Usage: cmake -DDEMO=<tarvex-demo> [-DEMULATOR=<list>] -DTHREADS=N -DREQUESTS=M [-DDROP=<data id>]
#              [-DSTORE=ON] -P CheckDemoReport.cmake
# With STORE, the demo keeps its objects in a temporary store, one group of
# four requests in 50 (the default) going through it.
# With DROP, the sample metas lack that value (the demo's test option): the run
# must end with status 1 and name the missing value of the first request,
# which must then be a beam's length (data id 60104).

set(args --threads ${THREADS} --requests ${REQUESTS})
if(DEFINED DROP)
  list(APPEND args --drop-value=${DROP})
endif()
execute_process(COMMAND ${EMULATOR} ${DEMO} ${args} OUTPUT_VARIABLE report
                ERROR_VARIABLE errors RESULT_VARIABLE status)
# Lines end in \r\n on Windows.
string(REPLACE "\r" "" report "${report}")

function(expect_line text)
  string(FIND "${report}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the report lacks \"${text}\":\n${report}")
  endif()
endfunction()

if(DEFINED DROP)
  if(NOT status STREQUAL "1")
    message(FATAL_ERROR "status ${status} instead of 1:\n${report}${errors}")
  endif()
  # The first request is a beam; its seed is thread * 1000003 + request, its
  # length 2.5 + seed % 10007.
  expect_line("thread 1, request 0: beam (22), data id 60104: expected 9312.5, found no value")
  expect_line("  values      8 read back and compared, 1 wrong or missing\n")
  # The write to the missing value is lost, and reported as such.
  expect_line("report: VORASSERT (meta with a value of the key's data id) failed (.\\DbDataKey:180)")
  if(STORE)
    # The beam was saved without the value, and read back so.
    expect_line("beam (22), data id 60104: expected 9312.5, found no value")
    expect_line("  result      FAILED: values, checks, reports, store\n")
  else()
    expect_line("  result      FAILED: values, checks, reports\n")
  endif()
  return()
endif()

if(NOT status STREQUAL "0")
  message(FATAL_ERROR "status ${status} instead of 0:\n${report}${errors}")
endif()

# Request i of a thread is a beam, a plate, an assembly or a placement as
# i % 4 is 0, 1, 2 or 3; every 16th request from the third moves an assembly
# with 1 + (i / 16) % 4 parts. Values read back: a beam's 7 written and its
# object id; a plate's 8 and its object id; a placement's 4; an assembly's 3,
# its object id and its placement's 4, and for a move the moved object id, each
# part and the moved frame.
# Through the store go requests 4g to 4g + 3 for every 50th g; each is saved
# once, as a new object, and read back after the run: a beam's 8 values, a
# plate's 9, a placement's 4, an assembly's 4 and its placement's 4; a moved
# one's object id under the new database too, and each part.
set(values 0)
set(moves 0)
set(saved 0)
set(verified_values 0)
math(EXPR last "${REQUESTS} - 1")
foreach(i RANGE 0 ${last})
  math(EXPR group "(${i} / 4) % 50")
  if(group EQUAL 0)
    math(EXPR saved "${saved} + 1")
    math(EXPR kind "${i} % 4")
    if(kind EQUAL 0 OR kind EQUAL 2)
      math(EXPR verified_values "${verified_values} + 8")
    elseif(kind EQUAL 1)
      math(EXPR verified_values "${verified_values} + 9")
    else()
      math(EXPR verified_values "${verified_values} + 4")
    endif()
    math(EXPR phase "${i} % 16")
    if(phase EQUAL 2)
      math(EXPR verified_values "${verified_values} + 2 + (${i} / 16) % 4")
    endif()
  endif()
  math(EXPR kind "${i} % 4")
  if(kind EQUAL 0)
    math(EXPR values "${values} + 8")
  elseif(kind EQUAL 1)
    math(EXPR values "${values} + 9")
  elseif(kind EQUAL 3)
    math(EXPR values "${values} + 4")
  else()
    math(EXPR values "${values} + 8")
    math(EXPR phase "${i} % 16")
    if(phase EQUAL 2)
      math(EXPR values "${values} + 3 + (${i} / 16) % 4")
      math(EXPR moves "${moves} + 1")
    endif()
  endif()
endforeach()
# The parts are beams bound at once, so a pool holds as many beams as the
# largest move had parts, and at least the one its first request made.
set(beams ${moves})
if(beams GREATER 4)
  set(beams 4)
elseif(beams LESS 1)
  set(beams 1)
endif()

math(EXPR requests "${THREADS} * ${REQUESTS}")
math(EXPR values "${THREADS} * ${values}")
math(EXPR moves "${THREADS} * ${moves}")
# Registered 4, the set-up thread's 4, each worker's 3 and its beams.
math(EXPR held "8 + ${THREADS} * (3 + ${beams})")
# One placement embedded in every assembly meta: registered, set-up, workers.
math(EXPR embedded "2 + ${THREADS}")
math(EXPR deleted "${held} + ${embedded}")
math(EXPR saved "${THREADS} * ${saved}")
math(EXPR verified_values "${THREADS} * ${verified_values}")

expect_line("Tarvex demo: ${THREADS} threads x ${REQUESTS} requests\n")
expect_line("  providers   1 started (initTable), 1 shut down (exitTable); start-up ok, shut-down ok\n")
expect_line("  requests    ${requests} served in ")
expect_line("              ${moves} assemblies filled with parts and moved to database 7\n")
expect_line("  values      ${values} read back and compared, 0 wrong or missing\n")
expect_line(" others, 0 failed (hand-out, binding, writes, order, hand-over,\n")
expect_line("              thread ${THREADS}: placement 1, beam ${beams}, plate 1, assembly 1\n")
expect_line("              total ${held}\n")
expect_line("  dump        held ${held} (counted ${held}), in use 0 (counted 0)\n")
expect_line("              DbMetaManager-recycled Metacount ${held}\n")
expect_line("              DbMetaManager-InUseCount 0\n")
expect_line(
  "  teardown    ${deleted} sample metas deleted (${held} held, ${embedded} embedded in assemblies), 0 left\n")
expect_line("  reports     0 unexpected\n")
if(STORE)
  expect_line(" (temporary, removed), one group of 4 requests in 50\n")
  expect_line("              ${saved} objects saved, 0 found by their request and loaded\n")
  expect_line("              0 objects verified before the run, ${saved} after it; \
${verified_values} values\n              compared, 0 wrong or missing, 0 failed checks\n")
  if(NOT report MATCHES "\n              file [1-9][0-9]* bytes\n")
    message(FATAL_ERROR "the report lacks the store file's size:\n${report}")
  endif()
else()
  expect_line("  store       none: built without SQLite, the objects live in memory\n")
endif()
expect_line("  result      OK\n")
message(STATUS "${requests} requests, ${values} values, ${held} metas held, as computed")
