// Row kernels of the glow filter, shared by its implementations.
//
// The filter walks down the image once. For each interior row y it computes
// the row's 3x3 means into the glow buffer, then adds the means of row y - 1
// onto that row: row y - 1 is finished only once row y's means, the last to
// read its original values, are taken. Every path runs the same walk with its
// own two row kernels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "GlowFilter.h"

// SSE2 and AVX2 kernels exist on x86-64 with a compiler that has the target
// attribute and the cpu-support builtin (GCC, Clang, MinGW: all of them
// define __x86_64__ there).
#if !defined(QBG_GLOW_PORTABLE_ONLY) && defined(__x86_64__) && defined(__GNUC__)
#define QBG_GLOW_X86 1
#else
#define QBG_GLOW_X86 0
#endif

namespace quorbix {

// What the row kernels need to know of the pixels. The same channel of the
// neighbouring pixels lies pixelBytes to either side, and the interior of a
// row of rowBytes is [pixelBytes, rowBytes - pixelBytes). Byte i of a row
// gets its mean when byte i % 4 of laneMask (little-endian) is 0xFF; where
// it is 0 the mean is held at zero, so the add leaves that byte as it is.
// Row starts need not be 4-byte aligned: i counts from the row's first byte.
struct RowShape {
  int32_t pixelBytes;  // 3 or 4
  uint32_t laneMask;   // all ones for 3-byte pixels
};

RowShape RowShapeFor(PixelFormat format);

// Writes the per-channel 3x3 mean of the interior bytes of `row` into the
// same positions of `means`, masked as `shape` says. `above`, `row` and
// `below` are three consecutive unfiltered rows; only their first rowBytes
// bytes are read.
using MeansRowFn = void (*)(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                            uint8_t* means, ptrdiff_t rowBytes, RowShape shape);
// row[i] = min(255, row[i] + means[i]) for the interior bytes.
using AddRowFn = void (*)(uint8_t* row, const uint8_t* means, ptrdiff_t rowBytes,
                          RowShape shape);

// One path's kernels; every path fills one such record and shares the walk.
struct GlowRowKernels {
  MeansRowFn means;
  AddRowFn add;
};

// floor(sum / 9) for every sum a 3x3 box can have (0..2295), without a
// division: 7282 / 65536 lies just above 1 / 9, and the error stays below one
// 9th of a unit over that range. The SIMD paths use the same multiply-high.
constexpr uint32_t kNinthMultiplier = 7282;
inline uint8_t DivideBy9(uint32_t sum) {
  return static_cast<uint8_t>((sum * kNinthMultiplier) >> 16);
}

inline uint8_t SaturatingAdd(uint8_t value, uint8_t mean) {
  const uint32_t total = uint32_t{value} + mean;
  return static_cast<uint8_t>(total > 255 ? 255 : total);
}

// The byte of laneMask that applies to byte i of a row.
inline uint8_t LaneMaskByte(uint32_t laneMask, ptrdiff_t i) {
  return static_cast<uint8_t>(laneMask >> (8 * (i & 3)));
}

// The portable kernels, over any part [from, to) of a row's interior (the
// SIMD kernels finish their rows with them).
void MeansRangePortable(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                      uint8_t* means, ptrdiff_t from, ptrdiff_t to, RowShape shape);
void AddRangePortable(uint8_t* row, const uint8_t* means, ptrdiff_t from, ptrdiff_t to);

extern const GlowRowKernels kPortableRowKernels;
#if QBG_GLOW_X86
extern const GlowRowKernels kSse2RowKernels;
extern const GlowRowKernels kAvx2RowKernels;
bool CpuHasAvx2();
#endif

}  // namespace quorbix
