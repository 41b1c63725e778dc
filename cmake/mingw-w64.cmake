# What the two mingw-w64 toolchain files share (mingw-w64-x86_64.cmake,
# mingw-w64-i686.cmake); each sets CMAKE_SYSTEM_PROCESSOR and
# QBG_MINGW_TRIPLET, then includes this file.
if(NOT QBG_MINGW_TRIPLET)
  message(FATAL_ERROR "use cmake/mingw-w64-x86_64.cmake or cmake/mingw-w64-i686.cmake")
endif()
set(CMAKE_SYSTEM_NAME Windows)

# Debian's posix-thread variants of the compilers.
set(CMAKE_C_COMPILER ${QBG_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QBG_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QBG_MINGW_TRIPLET}-windres)
set(QBG_WIDL ${QBG_MINGW_TRIPLET}-widl CACHE FILEPATH "Interface-definition compiler")

# Headers and libraries come from the toolchain's sysroot only; build tools
# (widl, python) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${QBG_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
