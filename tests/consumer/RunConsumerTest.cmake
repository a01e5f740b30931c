# Installs the build tree into a scratch prefix, then configures, builds and
# runs the consumer project against that install only.
# Usage: cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -P RunConsumerTest.cmake
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGV}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
# As C++17 and as C++20: the package must not lower a consumer's standard.
foreach(standard 17 20)
  set(build ${WORK_DIR}/build-cxx${standard})
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${build} -G Ninja -DCMAKE_PREFIX_PATH=${prefix}
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_STANDARD=${standard} -DCMAKE_CXX_STANDARD_REQUIRED=ON)
  run(${CMAKE_COMMAND} --build ${build})
  run(${build}/tarvex-consumer)
endforeach()

# The same program built from the pkg-config file alone, with the consumer's
# own -std ahead of the package's flags.
find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  include(GNUInstallDirs)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs tarvex
                  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  execute_process(COMMAND ${PKG_CONFIG} --modversion tarvex
                  OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know tarvex")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  foreach(standard 17 20)
    if(standard EQUAL 20)
      set(cplusplus 202002L)
    else()
      set(cplusplus 201703L)
    endif()
    set(program ${WORK_DIR}/tarvex-consumer-pc-cxx${standard})
    run(c++ -std=c++${standard} -DCONSUMER_CPLUSPLUS=${cplusplus}
        "-DCONSUMER_EXPECTED_VERSION=\"${version}\"" ${SOURCE_DIR}/consumer.cpp -o ${program}
        ${flags} -pthread -Wl,-rpath,${prefix}/${CMAKE_INSTALL_LIBDIR})
    run(${program})
  endforeach()
endif()
