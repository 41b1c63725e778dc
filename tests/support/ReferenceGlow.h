// The glow written as plainly as it is defined, independent of the library's
// filter: the tests and the fuzz target compare the filter with it, and the
// benchmarks measure the filter against it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace testbmp {

// Two passes over an image of `height` rows of `stride` bytes, whose first
// PixelBytes * width bytes are pixels of PixelBytes bytes; every byte of a
// pixel but byte KeptByte (none when it is -1) is glowed, the kept byte and
// the fill bytes are left as they are.
//  1. Into `glow`, all zero on entry: at every interior pixel, each glowed
//     byte's 3x3 sum divided by 9 (a signed division).
//  2. Onto `pixels`: every glowed byte of every pixel plus its glow byte,
//     limited to 255 by a single-precision minimum.
// Both buffers hold at least (height - 1) * stride + PixelBytes * width
// bytes. The layouts are template arguments, as constants the compiler sees,
// so that the benchmarks' baseline is the plain program it would be with
// them written in. Defined in ReferenceGlow.cpp for 3-byte pixels and for
// 4-byte pixels keeping any one of their bytes.
template <int PixelBytes = 3, int KeptByte = -1>
void ReferenceGlow(uint8_t* pixels, uint8_t* glow, int32_t width, int32_t height, int32_t stride);

// The same for a layout chosen at run time: 3-byte pixels (keptByte -1) or
// 4-byte ones keeping byte keptByte (0 to 3).
void ReferenceGlow(uint8_t* pixels, uint8_t* glow, int32_t width, int32_t height, int32_t stride,
                   int pixelBytes, int keptByte);

// The same with a glow buffer of its own.
inline void ReferenceGlow(uint8_t* pixels, int32_t width, int32_t height, int32_t stride,
                          int pixelBytes = 3, int keptByte = -1) {
  std::vector<uint8_t> glow(static_cast<size_t>(stride) * std::max(height, 0), 0);
  ReferenceGlow(pixels, glow.data(), width, height, stride, pixelBytes, keptByte);
}

}  // namespace testbmp
