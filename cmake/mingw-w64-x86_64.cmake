# Cross-build for 64-bit Windows with the mingw-w64 toolchain:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Test programs run under wine through scripts/wine-run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QBG_MINGW_TRIPLET x86_64-w64-mingw32)
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
