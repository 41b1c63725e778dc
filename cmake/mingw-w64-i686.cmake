# Cross-build for 32-bit Windows (x86) with the mingw-w64 toolchain:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
# Test programs run under 32-bit wine through scripts/wine-run.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QBG_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
