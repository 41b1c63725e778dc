# Cross-build for 64-bit Windows with the mingw-w64 toolchain:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Test programs run under wine through scripts/wine-run.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QBG_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
