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

// SSE2 and AVX2 kernels exist on x86-64 with a compiler that has the target
// attribute and the cpu-support builtin (GCC, Clang, MinGW: all of them
// define __x86_64__ there).
#if !defined(QBG_GLOW_PORTABLE_ONLY) && defined(__x86_64__) && defined(__GNUC__)
#define QBG_GLOW_X86 1
#else
#define QBG_GLOW_X86 0
#endif

namespace quorbix {

// Writes the per-channel 3x3 mean of the interior bytes [3, rowBytes - 3) of
// `row` into the same positions of `means`. `above`, `row` and `below` are
// three consecutive unfiltered rows; only their first rowBytes bytes are read.
using MeansRowFn = void (*)(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                            uint8_t* means, ptrdiff_t rowBytes);
// row[i] = min(255, row[i] + means[i]) for the interior bytes [3, rowBytes - 3).
using AddRowFn = void (*)(uint8_t* row, const uint8_t* means, ptrdiff_t rowBytes);

struct GlowRowKernels {
  MeansRowFn means;
  AddRowFn add;
};

constexpr int kPixelBytes = 3;

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

// The portable kernels, over any part [from, to) of a row's interior (the
// SIMD kernels finish their rows with them).
void MeansRangePortable(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                        uint8_t* means, ptrdiff_t from, ptrdiff_t to);
void AddRangePortable(uint8_t* row, const uint8_t* means, ptrdiff_t from, ptrdiff_t to);

extern const GlowRowKernels kPortableRowKernels;
#if QBG_GLOW_X86
extern const GlowRowKernels kSse2RowKernels;
extern const GlowRowKernels kAvx2RowKernels;
bool CpuHasAvx2();
#endif

}  // namespace quorbix
