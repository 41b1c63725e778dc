# Installation: the library, its header, bmpglow and its manual page, a
# CMake package (find_package(QuorbixBMPGlow) -> QuorbixBMPGlow::QuorbixBMPGlow)
# and a pkg-config file.
include(CMakePackageConfigHelpers)

set(QBG_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/QuorbixBMPGlow)

install(TARGETS QuorbixBMPGlow EXPORT QuorbixBMPGlowTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS bmpglow RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_BINARY_DIR}/cli/bmpglow.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The framework the library registers with at load: a runtime dependency,
# installed beside the library (no header: it is not part of the API).
install(TARGETS QuorbixFramework EXPORT QuorbixBMPGlowTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP)

install(EXPORT QuorbixBMPGlowTargets
  NAMESPACE QuorbixBMPGlow::
  DESTINATION ${QBG_CMAKE_INSTALL_DIR})
configure_package_config_file(cmake/QuorbixBMPGlowConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuorbixBMPGlowConfig.cmake
  INSTALL_DESTINATION ${QBG_CMAKE_INSTALL_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuorbixBMPGlowConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/QuorbixBMPGlowConfig.cmake
  ${PROJECT_BINARY_DIR}/QuorbixBMPGlowConfigVersion.cmake
  DESTINATION ${QBG_CMAKE_INSTALL_DIR})

# pkg-config: the prefix is found from the .pc file's own place, so the
# package can be moved; absolute install dirs are used as they stand.
set(QBG_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${QBG_PC_DIR}")
  set(QBG_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH QBG_PC_UP "/root/${QBG_PC_DIR}" "/root")
  string(REGEX REPLACE "/$" "" QBG_PC_UP "${QBG_PC_UP}")
  set(QBG_PC_PREFIX "\${pcfiledir}/${QBG_PC_UP}")
endif()
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(QBG_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(QBG_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
configure_file(cmake/quorbixbmpglow.pc.in ${PROJECT_BINARY_DIR}/quorbixbmpglow.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quorbixbmpglow.pc DESTINATION ${QBG_PC_DIR})
