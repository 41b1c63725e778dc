/*
 * QuorbixBMPGlow: adds a glow to 24- and 32-bit BMP images.
 *
 * One operation, BMPGlow(inputPath, outputPath): reads the BMP file at
 * inputPath, adds to every interior pixel the mean of its 3x3 neighbourhood
 * (channel by channel, saturating at 255; the outermost rows and columns stay
 * as they are) and writes the result to outputPath. It prints one status line
 * on standard output and returns QUORBIXBMPGLOW_SUCCESS (999) or
 * QUORBIXBMPGLOW_FAILURE (1).
 *
 * Usable from C (C11, <uchar.h>) and C++.
 *
 * QuorbixBMPGlowVersion.h, included here, gives the version of the library
 * the program is built against: QUORBIXBMPGLOW_VERSION_MAJOR, _MINOR, _PATCH
 * and _TWEAK, and QUORBIXBMPGLOW_VERSION_STRING ("MAJOR.MINOR.PATCH.TWEAK").
 */
#ifndef QUORBIXBMPGLOW_H
#define QUORBIXBMPGLOW_H

#include <stdint.h>

#include "QuorbixBMPGlowVersion.h"

#if defined(_WIN32)
#  include <stddef.h> /* wchar_t */
#elif !defined(__cplusplus)
#  include <uchar.h>
#endif

#if defined(_WIN32)
#  if defined(QUORBIXBMPGLOW_BUILDING)
#    define QUORBIXBMPGLOW_API __declspec(dllexport)
#  else
#    define QUORBIXBMPGLOW_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define QUORBIXBMPGLOW_API __attribute__((visibility("default")))
#else
#  define QUORBIXBMPGLOW_API
#endif

/* BMPGlow's calling convention: __stdcall on 32-bit x86 Windows, the
 * convention of Windows DLL interfaces (what a Declare statement, DllImport
 * and ctypes.WinDLL assume); the platform's default everywhere else. */
#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#  define QUORBIXBMPGLOW_CALL __stdcall
#else
#  define QUORBIXBMPGLOW_CALL
#endif

/* A path is a null-terminated UTF-16 string: wchar_t on Windows, where that
 * is UTF-16, and char16_t everywhere else. */
#if defined(_WIN32)
typedef wchar_t QuorbixBMPGlowPathChar;
#else
typedef char16_t QuorbixBMPGlowPathChar;
#endif

/* Status codes returned by BMPGlow. */
#define QUORBIXBMPGLOW_SUCCESS 999
#define QUORBIXBMPGLOW_FAILURE 1

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Glows the BMP file at inputPath into outputPath.
 *
 * Prints exactly one line on standard output:
 *   "Glow effect applied and saved to output.bmp"  and returns 999, or
 *   "Failed to open input file."                    and returns 1, or
 *   "Failed to open output file."                   and returns 1.
 * The success line names output.bmp whatever outputPath is.
 *
 * The input is refused ("Failed to open input file.") when it cannot be read,
 * is shorter than its 54 header bytes, has a bit count other than 24 and 32,
 * is 32-bit with colour masks (BI_BITFIELDS, BI_ALPHABITFIELDS) that are not
 * three different whole bytes, has a width or height of INT32_MIN,
 * dimensions whose row or pixel-array size does not fit in 32 bits, or stops
 * before its last pixel. A 32-bit pixel's fourth byte (alpha or unused) is
 * never changed.
 *
 * The output is written to a temporary file beside it and renamed over it
 * only when every byte was written; on failure the previous output (or the
 * input, when both paths name the same file) is left exactly as it was.
 * Input and output may name the same file. Either path may be null.
 * Calls are independent and may run concurrently on different files.
 */
QUORBIXBMPGLOW_API int32_t QUORBIXBMPGLOW_CALL BMPGlow(const QuorbixBMPGlowPathChar* inputPath,
                                                       const QuorbixBMPGlowPathChar* outputPath);

/* BMPGlow's type, for a pointer to it looked up at run time (GetProcAddress,
 * dlsym). */
typedef int32_t(QUORBIXBMPGLOW_CALL* QuorbixBMPGlowFunction)(
    const QuorbixBMPGlowPathChar* inputPath, const QuorbixBMPGlowPathChar* outputPath);

#ifdef __cplusplus
}
#endif

#endif /* QUORBIXBMPGLOW_H */
