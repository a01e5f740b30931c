# The warning flags of every target this project builds, in one place.
# Run as a script (cmake -P) it prints them, for builds outside CMake.
set(TARVEX_WARNING_FLAGS -Wall -Wextra)

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  list(JOIN TARVEX_WARNING_FLAGS " " flags)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${flags}")
endif()
