/* A program built as Visual Studio builds one: compiled for the MSVC ABI,
 * linked with lld-link against QuorbixBMPGlow.lib. It has no C runtime (none
 * for that ABI is at hand), so its entry point is its own and its only other
 * import is ExitProcess. Glows in.bmp into out.bmp in the current folder;
 * exits 0 on success. */
#include <QuorbixBMPGlow.h>

__declspec(dllimport) void __stdcall ExitProcess(unsigned int exitCode);

void QbgConsumerEntry(void) {
  const int32_t status = BMPGlow(L"in.bmp", L"out.bmp");
  ExitProcess(status == QUORBIXBMPGLOW_SUCCESS ? 0 : 1);
}
