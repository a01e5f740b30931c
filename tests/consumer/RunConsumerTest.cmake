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
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G Ninja
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/tarvex-consumer)

# The same program built from the pkg-config file alone.
find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  include(GNUInstallDirs)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs tarvex
                  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know tarvex")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  run(c++ ${SOURCE_DIR}/consumer.cpp -o ${WORK_DIR}/tarvex-consumer-pc ${flags} -pthread
      -Wl,-rpath,${prefix}/${CMAKE_INSTALL_LIBDIR})
  run(${WORK_DIR}/tarvex-consumer-pc)
endif()
