# Installs the libraries, the public headers (under include/tarvex), a CMake
# package (Tarvex::Tarvex and the base libraries) and a pkg-config file.
include(CMakePackageConfigHelpers)

set(TARVEX_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tarvex)
set(TARVEX_TARGETS Tarvex Miltora Ranvok Quessan Zentar)

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

# Relative to the .pc file, so the install can be moved or staged elsewhere.
file(RELATIVE_PATH TARVEX_PC_PREFIX_FROM_PCDIR "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
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
configure_file(${PROJECT_SOURCE_DIR}/cmake/tarvex.pc.in ${PROJECT_BINARY_DIR}/tarvex.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tarvex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
