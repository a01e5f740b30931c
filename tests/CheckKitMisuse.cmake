# Builds each misuse target of KitMisuse.cpp and fails unless the build
# fails with the case's message.
# Usage: cmake -DBUILD_DIR=... -DCASES=<case>=<message>|... -P CheckKitMisuse.cmake
string(REPLACE "|" ";" cases "${CASES}")
foreach(entry IN LISTS cases)
  string(FIND "${entry}" "=" split)
  string(SUBSTRING "${entry}" 0 ${split} name)
  math(EXPR message_begin "${split} + 1")
  string(SUBSTRING "${entry}" ${message_begin} -1 message)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target KitMisuse_${name}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(result EQUAL 0)
    message(FATAL_ERROR "${name}: the misuse compiled")
  endif()
  string(FIND "${output}" "${message}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "${name}: failed without \"${message}\":\n${output}")
  endif()
  message(STATUS "${name}: refused")
endforeach()
