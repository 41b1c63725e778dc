# Installation: the library, its header, bmpglow and its manual page, a CMake package
# (find_package(QuorbixBMPGlow) -> QuorbixBMPGlow::QuorbixBMPGlow) and a
# pkg-config file; on Windows also the Visual Studio import library and the
# .def. Three components, which the packages below follow:
#   Runtime      the shared libraries (the DLLs), the README and the licence
#   Development  the headers, the development symlink or import libraries,
#                the CMake package and the pkg-config file
#   Command      bmpglow and (not on Windows) its manual page
include(CMakePackageConfigHelpers)

set(QBG_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/QuorbixBMPGlow)

install(TARGETS QuorbixBMPGlow EXPORT QuorbixBMPGlowTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)
install(TARGETS bmpglow RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Command)
if(NOT WIN32)
  install(FILES ${PROJECT_BINARY_DIR}/cli/bmpglow.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
    COMPONENT Command)
endif()
# The framework the library registers with at load: a runtime dependency,
# installed beside the library (no header: it is not part of the API).
install(TARGETS QuorbixFramework EXPORT QuorbixBMPGlowTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_SKIP)
if(MINGW)
  install(FILES $<TARGET_LINKER_FILE_DIR:QuorbixBMPGlow>/QuorbixBMPGlow.lib ${QBG_EXPORTS_DEF}
    DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
endif()

# The README (with its picture) and the licence: at the top of a Windows
# folder, in the documentation directory elsewhere.
if(WIN32)
  set(QBG_DOC_DIR .)
else()
  set(QBG_DOC_DIR ${CMAKE_INSTALL_DOCDIR})
endif()
install(FILES README.md LICENSE DESTINATION ${QBG_DOC_DIR} COMPONENT Runtime)
install(FILES docs/sample-before-after.png DESTINATION ${QBG_DOC_DIR}/docs COMPONENT Runtime)

install(EXPORT QuorbixBMPGlowTargets
  NAMESPACE QuorbixBMPGlow::
  DESTINATION ${QBG_CMAKE_INSTALL_DIR}
  COMPONENT Development)
# Visual Studio's linker gets QuorbixBMPGlow.lib (Windows packages).
set(QBG_MSVC_IMPORT_LIBRARY ${CMAKE_INSTALL_LIBDIR}/QuorbixBMPGlow.lib)
configure_package_config_file(cmake/QuorbixBMPGlowConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuorbixBMPGlowConfig.cmake
  INSTALL_DESTINATION ${QBG_CMAKE_INSTALL_DIR}
  PATH_VARS QBG_MSVC_IMPORT_LIBRARY)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuorbixBMPGlowConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/QuorbixBMPGlowConfig.cmake
  ${PROJECT_BINARY_DIR}/QuorbixBMPGlowConfigVersion.cmake
  DESTINATION ${QBG_CMAKE_INSTALL_DIR}
  COMPONENT Development)

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
install(FILES ${PROJECT_BINARY_DIR}/quorbixbmpglow.pc DESTINATION ${QBG_PC_DIR}
  COMPONENT Development)

# Packages of the same install rules (cpack in the build directory):
# Windows, one zip of everything, QuorbixBMPGlow-VERSION-win32.zip or -win64.zip;
# elsewhere three Debian packages, one a component, the library's named by
# its SONAME version.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The QuorbixBMPGlow developers")
set(CPACK_PACKAGE_CONTACT "The QuorbixBMPGlow developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL Runtime Development Command)
# Each a Debian package's description under the project's one-line summary.
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "The shared library: BMPGlow(inputPath, outputPath) glows a BMP file.")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
  "Development files: the C header, the CMake package and the pkg-config file.")
set(CPACK_COMPONENT_COMMAND_DESCRIPTION
  "The command: bmpglow INPUT.bmp OUTPUT.bmp glows a BMP file.")
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS Runtime)
set(CPACK_COMPONENT_COMMAND_DEPENDS Runtime)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
  set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libquorbixbmpglow${PROJECT_VERSION_MAJOR})
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libquorbixbmpglow-dev)
  set(CPACK_DEBIAN_COMMAND_PACKAGE_NAME bmpglow)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_COMMAND_PACKAGE_SECTION graphics)
  # Each package depends on the library's at this very version; the
  # library's shlibs file says so to packages built against it.
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")
  # The C and C++ runtimes from what the binaries need (dpkg-shlibdeps),
  # which finds the project's own libraries in the build tree.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  foreach(library QuorbixBMPGlow QuorbixFramework)
    get_target_property(libraryDir ${library} LIBRARY_OUTPUT_DIRECTORY)
    if(NOT libraryDir)
      get_target_property(libraryDir ${library} BINARY_DIR)
    endif()
    list(APPEND CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${libraryDir})
  endforeach()
endif()
include(CPack)
