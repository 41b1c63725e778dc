// The glow written as plainly as it is defined, independent of the library's
// filter: the tests and the fuzz target compare the filter with it, and the
// benchmarks measure the filter against it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace testbmp {

// Two passes over an image of `height` rows of `stride` bytes, whose first
// PixelBytes * width bytes are pixels of PixelBytes bytes; the first Lanes
// bytes of every pixel are glowed, the others and the fill bytes are left as
// they are.
//  1. Into `glow`, all zero on entry: at every interior pixel, each lane's
//     3x3 sum divided by 9 (a signed division).
//  2. Onto `pixels`: every lane of every pixel plus its glow byte, limited to
//     255 by a single-precision minimum.
// Both buffers hold at least (height - 1) * stride + PixelBytes * width
// bytes. The layouts are template arguments, as constants the compiler sees,
// so that the benchmarks' baseline is the plain program it would be with
// them written in. Defined in ReferenceGlow.cpp for 3-byte pixels and for
// 4-byte pixels glowed on their first 3 bytes.
template <int PixelBytes = 3, int Lanes = 3>
void ReferenceGlow(uint8_t* pixels, uint8_t* glow, int32_t width, int32_t height, int32_t stride);

// The same with a glow buffer of its own.
template <int PixelBytes = 3, int Lanes = 3>
void ReferenceGlow(uint8_t* pixels, int32_t width, int32_t height, int32_t stride) {
  std::vector<uint8_t> glow(static_cast<size_t>(stride) * std::max(height, 0), 0);
  ReferenceGlow<PixelBytes, Lanes>(pixels, glow.data(), width, height, stride);
}

}  // namespace testbmp
