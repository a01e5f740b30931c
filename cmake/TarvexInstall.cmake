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
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TarvexConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TarvexConfig.cmake ${PROJECT_BINARY_DIR}/TarvexConfigVersion.cmake
  DESTINATION ${TARVEX_INSTALL_CMAKEDIR})

# Relative to the .pc file, so the install can be moved or staged elsewhere.
file(RELATIVE_PATH TARVEX_PC_PREFIX_FROM_PCDIR "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(${PROJECT_SOURCE_DIR}/cmake/tarvex.pc.in ${PROJECT_BINARY_DIR}/tarvex.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tarvex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
