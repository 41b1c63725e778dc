// Builds BMP files in memory for the tests and benchmarks, and what BMPGlow
// must make of them.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "ReferenceGlow.h"

namespace testbmp {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, size_t at, uint16_t v) {
  b.at(at) = static_cast<uint8_t>(v);
  b.at(at + 1) = static_cast<uint8_t>(v >> 8);
}
inline void Put32(Bytes& b, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

// The 54 header bytes: "BM", sizes and the fields the library reads.
inline Bytes Headers(int32_t widthField, int32_t heightField, uint16_t bitCount = 24,
                     uint32_t pixelOffset = 54, uint32_t fileSize = 0) {
  Bytes b(54, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, fileSize);
  Put32(b, 10, pixelOffset);
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<uint32_t>(widthField));
  Put32(b, 22, static_cast<uint32_t>(heightField));
  Put16(b, 26, 1);
  Put16(b, 28, bitCount);
  Put32(b, 38, 2835);
  Put32(b, 42, 2835);
  return b;
}

// Sets biCompression and the red, green and blue masks at file offset 54
// (the file must reach that far).
inline void SetColourMasks(Bytes& file, uint32_t compression, uint32_t red, uint32_t green,
                           uint32_t blue) {
  Put32(file, 30, compression);
  Put32(file, 54, red);
  Put32(file, 58, green);
  Put32(file, 62, blue);
}

inline int32_t StrideFor(int32_t width, int bitCount = 24) {
  return (width * bitCount + 31) / 32 * 4;
}

// A pixel array of random bytes, fill bytes included (the filter must keep
// them as they are).
inline Bytes RandomPixels(int32_t stride, int32_t height, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes pixels(static_cast<size_t>(stride) * height);
  for (auto& byte : pixels) byte = static_cast<uint8_t>(random());
  return pixels;
}

// A complete file: headers, then `gap` bytes, the pixel array and `trailing`.
inline Bytes File(int32_t widthField, int32_t heightField, const Bytes& pixels,
                  uint16_t bitCount = 24, const Bytes& gap = {}, const Bytes& trailing = {}) {
  const uint32_t offset = static_cast<uint32_t>(54 + gap.size());
  Bytes file = Headers(widthField, heightField, bitCount, offset,
                       static_cast<uint32_t>(54 + gap.size() + pixels.size() + trailing.size()));
  // Room for everything up front: GCC 12 otherwise warns falsely about the
  // reallocating inserts (-Warray-bounds) when it inlines them.
  file.reserve(file.size() + gap.size() + pixels.size() + trailing.size());
  file.insert(file.end(), gap.begin(), gap.end());
  file.insert(file.end(), pixels.begin(), pixels.end());
  file.insert(file.end(), trailing.begin(), trailing.end());
  return file;
}

// What BMPGlow must write for `input`: the same bytes with the pixel array
// at `offset` glowed (and grown by any missing last-row fill). 32-bit pixels
// keep their byte `keptByte`.
inline Bytes Glowed(Bytes input, uint32_t offset, int32_t width, int32_t height,
                    int bitCount = 24, int keptByte = 3) {
  const int32_t stride = StrideFor(width, bitCount);
  const size_t end = offset + static_cast<size_t>(stride) * height;
  if (end > input.size() && width > 0 && height > 0) input.resize(end, 0);
  if (width > 0 && height > 0) {
    ReferenceGlow(input.data() + offset, width, height, stride, bitCount / 8,
                  bitCount == 32 ? keptByte : -1);
  }
  return input;
}

}  // namespace testbmp
