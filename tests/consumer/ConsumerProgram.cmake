# consumer_program(<name> <sources...>): a program of the consumer projects,
# told the standard it was asked to build with and the Tarvex version it
# expects (Tarvex_VERSION, or PROJECT_VERSION of a Tarvex subproject).
set(CONSUMER_DIR ${CMAKE_CURRENT_LIST_DIR})

function(consumer_program name)
  add_executable(${name} ${ARGN})
  if(CMAKE_CXX_STANDARD EQUAL 20)
    set(expected_cplusplus 202002L)
  else()
    set(expected_cplusplus 201703L)
  endif()
  target_compile_definitions(${name} PRIVATE
    CONSUMER_CPLUSPLUS=${expected_cplusplus}
    CONSUMER_EXPECTED_VERSION="${CONSUMER_EXPECTED_VERSION}")
  target_include_directories(${name} PRIVATE ${CONSUMER_DIR})
endfunction()
