# 32-bit Windows: the windows stage for x86 (cmake/mingw-w64-i686.cmake),
# under 32-bit wine in a win32 prefix; with it the test of a caller that
# declares BMPGlow __stdcall itself.
exec bash "$(dirname "${BASH_SOURCE[0]}")/windows.sh" i686
