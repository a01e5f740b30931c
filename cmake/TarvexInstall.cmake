# Installs the libraries, the public headers (under include/tarvex), a CMake
# package (Tarvex::Tarvex and the base libraries) and a pkg-config file.
include(CMakePackageConfigHelpers)

set(TARVEX_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tarvex)
set(TARVEX_TARGETS Tarvex Miltora Ranvok Quessan Zentar)

# One flavour per prefix: the package file and tarvex.pc describe one, and a
# linker given -lTarvex takes the shared library wherever both lie. The
# install of the other flavour stops before it copies anything.
if(TARVEX_BUILD_SHARED)
  set(tarvex_other_flavour static)
  set(tarvex_other_libraries ${CMAKE_STATIC_LIBRARY_PREFIX}Tarvex${CMAKE_STATIC_LIBRARY_SUFFIX}
                             ${CMAKE_STATIC_LIBRARY_PREFIX}Tarvexd${CMAKE_STATIC_LIBRARY_SUFFIX})
else()
  set(tarvex_other_flavour shared)
  set(tarvex_other_libraries ${CMAKE_SHARED_LIBRARY_PREFIX}Tarvex${CMAKE_SHARED_LIBRARY_SUFFIX}
                             ${CMAKE_SHARED_LIBRARY_PREFIX}Tarvexd${CMAKE_SHARED_LIBRARY_SUFFIX})
endif()
if(WIN32)
  set(tarvex_other_library_dir ${CMAKE_INSTALL_BINDIR})
else()
  set(tarvex_other_library_dir ${CMAKE_INSTALL_LIBDIR})
endif()
install(CODE "
  set(tarvex_dir \"${tarvex_other_library_dir}\")
  if(NOT IS_ABSOLUTE \"\${tarvex_dir}\")
    set(tarvex_dir \"\${CMAKE_INSTALL_PREFIX}/\${tarvex_dir}\")
  endif()
  foreach(tarvex_name ${tarvex_other_libraries})
    if(EXISTS \"\$ENV{DESTDIR}\${tarvex_dir}/\${tarvex_name}\")
      message(FATAL_ERROR \"A ${tarvex_other_flavour} Tarvex is installed in \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX} \"
        \"(\${tarvex_dir}/\${tarvex_name}); one prefix holds one flavour. Remove it first, \"
        \"or install into another prefix.\")
    endif()
  endforeach()")

install(TARGETS ${TARVEX_TARGETS}
  EXPORT TarvexTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(target ${TARVEX_TARGETS})
  get_target_property(headers ${target} TARVEX_PUBLIC_HEADERS)
  install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tarvex)
endforeach()
# Implementation headers that public ones include; not for direct use.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/internal
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tarvex FILES_MATCHING PATTERN "*.h")

install(EXPORT TarvexTargets NAMESPACE Tarvex:: DESTINATION ${TARVEX_INSTALL_CMAKEDIR})
# The build tree is a package too (CMAKE_PREFIX_PATH=build/default): the same
# config file beside a targets file of the build tree's own.
export(EXPORT TarvexTargets NAMESPACE Tarvex:: FILE ${PROJECT_BINARY_DIR}/TarvexTargets.cmake)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TarvexConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TarvexConfig.cmake
  INSTALL_DESTINATION ${TARVEX_INSTALL_CMAKEDIR})
# VERSIONING.md: a 0.x release is compatible with its own minor version only.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(TARVEX_COMPATIBILITY SameMinorVersion)
else()
  set(TARVEX_COMPATIBILITY SameMajorVersion)
endif()
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TarvexConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY ${TARVEX_COMPATIBILITY})
install(FILES ${PROJECT_BINARY_DIR}/TarvexConfig.cmake ${PROJECT_BINARY_DIR}/TarvexConfigVersion.cmake
  DESTINATION ${TARVEX_INSTALL_CMAKEDIR})

install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tarvex)

# Relative to the .pc file, so the install can be moved or staged elsewhere;
# a directory given as an absolute path is named as it is.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(TARVEX_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(TARVEX_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  file(RELATIVE_PATH prefix_from_pcdir "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  string(REGEX REPLACE "/$" "" prefix_from_pcdir "${prefix_from_pcdir}")
  set(TARVEX_PC_PREFIX "\${pcfiledir}/${prefix_from_pcdir}")
  set(TARVEX_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(TARVEX_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}/tarvex")
else()
  set(TARVEX_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}/tarvex")
endif()
# What the shared libraries bring along themselves, a static link must name.
set(TARVEX_PC_CFLAGS "")
set(TARVEX_PC_LIBS "")
if(NOT TARVEX_BUILD_SHARED)
  foreach(target ${TARVEX_TARGETS})
    string(TOUPPER ${target} macro_prefix)
    string(APPEND TARVEX_PC_CFLAGS " -D${macro_prefix}_STATIC_DEFINE")
  endforeach()
  set(TARVEX_PC_LIBS "-Wl,--undefined=${TARVEX_MODULE_ANCHOR} ")
endif()
get_target_property(tbbmalloc_location TBB::tbbmalloc LOCATION)
get_filename_component(tbbmalloc_dir "${tbbmalloc_location}" DIRECTORY)
set(TARVEX_PC_PRIVATE_LIBS "-ltbbmalloc -pthread")
if(NOT tbbmalloc_dir IN_LIST CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES)
  set(TARVEX_PC_PRIVATE_LIBS "-L${tbbmalloc_dir} ${TARVEX_PC_PRIVATE_LIBS}")
endif()
# One .pc file per configuration, the Debug one as tarvexd.pc, so that a
# Debug install does not take over the release one's pkg-config users.
foreach(config IN ITEMS Release Debug)
  if(config STREQUAL "Debug")
    set(TARVEX_PC_POSTFIX d)
  else()
    set(TARVEX_PC_POSTFIX "")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/tarvex.pc.in ${PROJECT_BINARY_DIR}/tarvex${TARVEX_PC_POSTFIX}.pc @ONLY)
endforeach()
install(FILES ${PROJECT_BINARY_DIR}/tarvex$<$<CONFIG:Debug>:d>.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
