# Builds and runs the consumer programs against Tarvex used one way (MODE):
#   install       the build tree BUILD_DIR installed into PREFIX, which the
#                 next two and "version" use
#   cmake         the CMake package in PREFIX, as C++${STANDARD}, in the
#                 consumer tree of the last run if there is one
#   pkgconfig     the pkg-config file in PREFIX, as C++${STANDARD}
#   static        a static build of TARVEX_SOURCE_DIR, installed; the same
#                 checks, with `pkg-config --static`
#   subdirectory  add_subdirectory of TARVEX_SOURCE_DIR; installs nothing
#   fetchcontent  FetchContent from TARVEX_SOURCE_DIR, configured afresh in
#                 the tree "subdirectory" left in WORK_DIR, whose build of
#                 Tarvex it shares; the provider becomes a library installed
#                 with Tarvex and used by another project
#   version       find_package's answer to a range of requested versions and
#                 components, against PREFIX
#   layout        TARVEX_SOURCE_DIR built Release and Debug in one tree for
#                 prefix /usr, staged with DESTDIR: the GNU directories, both
#                 configurations side by side, each consumer getting its own;
#                 then installed with an absolute CMAKE_INSTALL_LIBDIR and used
#                 through pkg-config
#   buildtree     the build tree BUILD_DIR itself as the package
# Usage: cmake -DMODE=... -DSOURCE_DIR=<tests/consumer> -DWORK_DIR=...
#              [-DBUILD_DIR=...] [-DTARVEX_SOURCE_DIR=...] [-DPREFIX=...]
#              [-DSTANDARD=17|20] [-DCXX_COMPILER=...] [-DLAUNCHER=...]
#              -P RunConsumerTest.cmake
if(MODE STREQUAL "fetchcontent")
  file(REMOVE_RECURSE ${WORK_DIR}/prefix ${WORK_DIR}/downstream)
elseif(MODE STREQUAL "cmake")
  # Kept from the last run, as an application keeps its build tree: configured
  # again, it compiles what changed and links against the new install.
else()
  file(REMOVE_RECURSE ${WORK_DIR})
endif()
if(PREFIX)
  set(prefix ${PREFIX})
else()
  set(prefix ${WORK_DIR}/prefix)
endif()
include(GNUInstallDirs)

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGV}")
  endif()
endfunction()

# Every project here is configured alike: Release, so that nothing depends on
# the build directory and ccache hits across the scratch builds.
if(NOT CXX_COMPILER)
  set(CXX_COMPILER c++)
endif()
set(configure_args -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
if(LAUNCHER)
  list(APPEND configure_args -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
endif()

function(configure_and_build source build)
  run(${CMAKE_COMMAND} -S ${source} -B ${build} ${configure_args} ${ARGN})
  run(${CMAKE_COMMAND} --build ${build})
endfunction()

# The consumer project against the install in ${prefix}, as C++17 and C++20
# unless one is given: the package must not lower a consumer's standard.
function(check_installed_package)
  set(standards ${ARGN})
  if(NOT standards)
    set(standards 17 20)
  endif()
  foreach(standard IN LISTS standards)
    set(build ${WORK_DIR}/build-cxx${standard})
    # No build type: the consumer is small and runs briefly, unoptimised it
    # builds sooner, and still without the build directory in it.
    configure_and_build(${SOURCE_DIR} ${build} -DCMAKE_PREFIX_PATH=${prefix}
      -DCMAKE_CXX_STANDARD=${standard} -DCMAKE_CXX_STANDARD_REQUIRED=ON -DCMAKE_BUILD_TYPE=)
    run(${build}/tarvex-consumer)
    run(${build}/tarvex-module-check)
  endforeach()
endfunction()

# The same programs built from the pkg-config file alone, with the consumer's
# own -std ahead of the package's flags; as C++${STANDARD} if given, else as
# C++17 and C++20. PKG_CONFIG_DIR: where tarvex.pc lies, if not in ${prefix}.
function(check_pkg_config)
  find_program(PKG_CONFIG pkg-config)
  if(NOT PKG_CONFIG)
    message(STATUS "no pkg-config: its check skipped")
    return()
  endif()
  if(NOT PKG_CONFIG_DIR)
    set(PKG_CONFIG_DIR ${prefix}/${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  endif()
  set(ENV{PKG_CONFIG_PATH} ${PKG_CONFIG_DIR})
  execute_process(COMMAND ${PKG_CONFIG} ${ARGN} --cflags --libs tarvex
                  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  execute_process(COMMAND ${PKG_CONFIG} --modversion tarvex
                  OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know tarvex")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(cflags ${flags})
  list(FILTER cflags INCLUDE REGEX "^-[ID]")
  set(libs ${flags})
  list(FILTER libs EXCLUDE REGEX "^-[ID]")
  # Compiled and linked apart, so that the compiles go through the launcher.
  set(cxx ${LAUNCHER} ${CXX_COMPILER})
  execute_process(COMMAND ${PKG_CONFIG} --variable=libdir tarvex
                  OUTPUT_VARIABLE libdir OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(rpath -Wl,-rpath,${libdir})
  set(standards ${STANDARD})
  if(NOT standards)
    set(standards 17 20)
  endif()
  foreach(standard IN LISTS standards)
    if(standard EQUAL 20)
      set(cplusplus 202002L)
    else()
      set(cplusplus 201703L)
    endif()
    set(objects "")
    foreach(source consumer parts)
      set(object ${WORK_DIR}/pc-cxx${standard}/${source}.o)
      file(MAKE_DIRECTORY ${WORK_DIR}/pc-cxx${standard})
      run(${cxx} -std=c++${standard} -DCONSUMER_CPLUSPLUS=${cplusplus}
          "-DCONSUMER_EXPECTED_VERSION=\"${version}\"" -I${SOURCE_DIR} ${cflags}
          -c ${SOURCE_DIR}/${source}.cpp -o ${object})
      list(APPEND objects ${object})
    endforeach()
    set(program ${WORK_DIR}/pc-cxx${standard}/tarvex-consumer)
    run(${CXX_COMPILER} ${objects} -o ${program} ${libs} -pthread ${rpath})
    run(${program})
  endforeach()
  list(FIND standards 17 at)
  if(at EQUAL -1)
    return()
  endif()
  set(object ${WORK_DIR}/pc-cxx17/module-check.o)
  run(${cxx} -std=c++17 ${cflags} -c ${SOURCE_DIR}/module-check.cpp -o ${object})
  run(${CXX_COMPILER} ${object} -o ${WORK_DIR}/pc-cxx17/tarvex-module-check ${libs} ${rpath})
  run(${WORK_DIR}/pc-cxx17/tarvex-module-check)
endfunction()

# The install of build tree <build> into ${prefix}, which holds the other
# flavour, must stop with a message and copy nothing.
function(expect_flavour_refused build)
  file(GLOB_RECURSE before RELATIVE ${prefix} ${prefix}/*)
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${build} --prefix ${prefix}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  file(GLOB_RECURSE after RELATIVE ${prefix} ${prefix}/*)
  string(REGEX REPLACE "[ \n]+" " " flat "${out}")
  if(status EQUAL 0 OR NOT flat MATCHES "Tarvex is installed in .*one prefix holds one flavour")
    message(FATAL_ERROR "installing the other flavour into ${prefix} was not refused:\n${out}")
  endif()
  if(NOT before STREQUAL after)
    message(FATAL_ERROR "the refused install changed ${prefix}")
  endif()
endfunction()

# needs(<program> <library>): the program loads <library>.so.<version>.
function(needs program library)
  find_program(READELF readelf REQUIRED)
  execute_process(COMMAND ${READELF} -d ${program} OUTPUT_VARIABLE dynamic COMMAND_ERROR_IS_FATAL ANY)
  if(NOT dynamic MATCHES "NEEDED\\) *Shared library: \\[${library}\\.so\\.[0-9.]+\\]")
    message(FATAL_ERROR "${program} does not load ${library}:\n${dynamic}")
  endif()
endfunction()

if(MODE STREQUAL "install")
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
elseif(MODE STREQUAL "cmake")
  check_installed_package(${STANDARD})
elseif(MODE STREQUAL "pkgconfig")
  # A static build tree installs what the static mode checks.
  if(EXISTS ${prefix}/${CMAKE_INSTALL_LIBDIR}/libTarvex.a)
    check_pkg_config(--static)
  else()
    check_pkg_config()
  endif()
elseif(MODE STREQUAL "static")
  # The libraries alone, as `make install` builds them, but static.
  set(build ${WORK_DIR}/tarvex)
  configure_and_build(${TARVEX_SOURCE_DIR} ${build} -DTARVEX_BUILD_SHARED=OFF
    -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_EXAMPLES=OFF -DTARVEX_BUILD_BENCHMARKS=OFF)
  run(${CMAKE_COMMAND} --install ${build} --prefix ${prefix})
  file(GLOB shared ${prefix}/${CMAKE_INSTALL_LIBDIR}/*.so*)
  if(shared)
    message(FATAL_ERROR "a static build installed shared libraries: ${shared}")
  endif()
  check_installed_package()
  check_pkg_config(--static)
  # The shared build tree into this static prefix, and the static build into
  # a shared prefix: both refused.
  expect_flavour_refused(${BUILD_DIR})
  set(prefix ${WORK_DIR}/shared-prefix)
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
  expect_flavour_refused(${build})
elseif(MODE STREQUAL "layout")
  # The way a distribution builds: the prefix at configure time, so that
  # GNUInstallDirs picks the directories (the multiarch one on Debian).
  set(build ${WORK_DIR}/tarvex)
  set(multi_config_args ${configure_args})
  list(TRANSFORM multi_config_args REPLACE "^Ninja$" "Ninja Multi-Config")
  list(FILTER multi_config_args EXCLUDE REGEX "^-DCMAKE_BUILD_TYPE=")
  run(${CMAKE_COMMAND} -S ${TARVEX_SOURCE_DIR} -B ${build} ${multi_config_args}
      -DCMAKE_INSTALL_PREFIX=/usr
      -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_EXAMPLES=OFF -DTARVEX_BUILD_BENCHMARKS=OFF)
  file(STRINGS ${build}/CMakeCache.txt arch REGEX "^CMAKE_LIBRARY_ARCHITECTURE:")
  string(REGEX REPLACE "^[^=]*=" "" arch "${arch}")
  if(arch AND EXISTS /etc/debian_version)
    set(libdir lib/${arch})
  else()
    file(STRINGS ${build}/CMakeCache.txt libdir REGEX "^CMAKE_INSTALL_LIBDIR:")
    string(REGEX REPLACE "^[^=]*=" "" libdir "${libdir}")
  endif()
  set(stage ${WORK_DIR}/stage)
  foreach(config Release Debug)
    run(${CMAKE_COMMAND} --build ${build} --config ${config})
    run(${CMAKE_COMMAND} -E env DESTDIR=${stage} ${CMAKE_COMMAND} --install ${build} --config ${config})
  endforeach()
  foreach(file ${libdir}/libTarvex.so ${libdir}/libTarvexd.so ${libdir}/libMiltorad.so
          ${libdir}/cmake/Tarvex/TarvexConfig.cmake ${libdir}/cmake/Tarvex/TarvexTargets-release.cmake
          ${libdir}/cmake/Tarvex/TarvexTargets-debug.cmake ${libdir}/pkgconfig/tarvex.pc
          ${libdir}/pkgconfig/tarvexd.pc include/tarvex/DbMetaBase.h
          share/doc/tarvex/LICENSE share/doc/tarvex/CHANGELOG.md)
    if(NOT EXISTS ${stage}/usr/${file})
      file(GLOB_RECURSE staged RELATIVE ${stage} ${stage}/*)
      message(FATAL_ERROR "/usr/${file} not installed; staged:\n${staged}")
    endif()
  endforeach()
  # Each consumer configuration links the library of its own.
  foreach(config Release Debug)
    if(config STREQUAL "Debug")
      set(postfix d)
    else()
      set(postfix "")
    endif()
    set(consumer ${WORK_DIR}/consumer-${config})
    configure_and_build(${SOURCE_DIR} ${consumer} -DCMAKE_PREFIX_PATH=${stage}/usr
      -DCMAKE_BUILD_TYPE=${config} -DCMAKE_CXX_STANDARD=17)
    run(${consumer}/tarvex-consumer)
    needs(${consumer}/tarvex-consumer libTarvex${postfix})
  endforeach()
  # An absolute library directory elsewhere than under the prefix: tarvex.pc
  # names the directories as they are.
  set(prefix ${WORK_DIR}/absolute)
  set(absolute_libdir ${WORK_DIR}/absolute-lib)
  run(${CMAKE_COMMAND} -S ${TARVEX_SOURCE_DIR} -B ${build} -DCMAKE_INSTALL_PREFIX=${prefix}
      -DCMAKE_INSTALL_LIBDIR=${absolute_libdir})
  run(${CMAKE_COMMAND} --install ${build} --config Release)
  set(PKG_CONFIG_DIR ${absolute_libdir}/pkgconfig)
  check_pkg_config()
elseif(MODE STREQUAL "buildtree")
  set(build ${WORK_DIR}/build)
  configure_and_build(${SOURCE_DIR} ${build} -DCMAKE_PREFIX_PATH=${BUILD_DIR} -DCMAKE_CXX_STANDARD=17)
  run(${build}/tarvex-consumer)
  run(${build}/tarvex-module-check)
elseif(MODE STREQUAL "subdirectory")
  set(build ${WORK_DIR}/build)
  configure_and_build(${SOURCE_DIR}/subproject ${build} -DTARVEX_VIA=subdirectory
    -DTARVEX_SOURCE_DIR=${TARVEX_SOURCE_DIR})
  run(${build}/tarvex-consumer)
  # Nothing asked for, nothing installed.
  run(${CMAKE_COMMAND} --install ${build} --prefix ${prefix})
  file(GLOB_RECURSE installed ${prefix}/*)
  if(installed)
    message(FATAL_ERROR "Tarvex as a subproject installed: ${installed}")
  endif()
elseif(MODE STREQUAL "fetchcontent")
  # --fresh: nothing of the subdirectory configuration is kept but the
  # objects, which the same compile commands leave up to date.
  set(build ${WORK_DIR}/build)
  configure_and_build(${SOURCE_DIR}/subproject ${build} --fresh -DTARVEX_VIA=FetchContent
    -DTARVEX_SOURCE_DIR=${TARVEX_SOURCE_DIR} -DCONSUMER_INSTALL_PARTS=ON)
  run(${build}/tarvex-consumer)
  run(${CMAKE_COMMAND} --install ${build} --prefix ${prefix})
  set(downstream ${WORK_DIR}/downstream)
  configure_and_build(${SOURCE_DIR}/downstream ${downstream} -DCMAKE_PREFIX_PATH=${prefix})
  run(${downstream}/tarvex-consumer)
elseif(MODE STREQUAL "version")
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/version -B ${WORK_DIR}/build ${configure_args}
      -DCMAKE_PREFIX_PATH=${prefix})
else()
  message(FATAL_ERROR "MODE: install, cmake, pkgconfig, static, subdirectory, fetchcontent, version, layout or buildtree")
endif()
