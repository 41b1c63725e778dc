// NEON row kernels for AArch64 and ARMv7-A (the same intrinsics on both).
//
// As on x86-64 (GlowRowsX86.cpp): the three rows are summed per byte into
// 16-bit lanes (column sums), each lane adds the column sums P lanes to
// either side (the same channel of the neighbouring pixels, P = 3 or 4),
// taken from the neighbouring vectors with vext, so every column sum is
// computed once; then the multiply-high division by 9, the lane mask for
// 4-byte pixels and a saturating add. Each row ends with one vector step
// placed to end at its last interior byte, overlapping the step before it,
// instead of a scalar rest.
//
// On ARMv7-A this file alone is built for NEON (glow/CMakeLists.txt), and its
// kernels run only on processors that have it. Everything in it but the
// kernels record is local to the file, so that no function built here for
// NEON can stand in for a baseline copy of the same inline function that
// another file uses.
#include "GlowRows.h"

#if QBG_GLOW_NEON

#include <arm_neon.h>

namespace quorbix {
namespace {

// NEON has no unsigned 16-bit multiply-high, but the signed doubling one,
// (2 * a * b) >> 16, with half the multiplier is the same: the largest
// product, 2 * 2295 * 3641, is far below the 2^31 at which it saturates.
static_assert(kNinthMultiplier % 2 == 0, "the doubling multiply needs half the multiplier");
constexpr int16_t kHalfNinthMultiplier = kNinthMultiplier / 2;

// (A vector operand rather than vqdmulhq_n_s16's scalar: on ARMv7 GCC
// otherwise moves the scalar into place again in every loop pass.)
inline uint16x8_t DivideBy9(uint16x8_t sums) {
  return vreinterpretq_u16_s16(
      vqdmulhq_s16(vreinterpretq_s16_u16(sums), vdupq_n_s16(kHalfNinthMultiplier)));
}

// Column sums of 8 bytes; of 16 bytes as the sums of their first and last 8.
inline uint16x8_t ColumnSums(uint8x8_t above, uint8x8_t row, uint8x8_t below) {
  return vaddw_u8(vaddl_u8(above, row), below);
}

struct Sums16 {
  uint16x8_t low, high;
};

inline Sums16 ColumnSums16(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                           ptrdiff_t i) {
  const uint8x16_t a = vld1q_u8(above + i), b = vld1q_u8(row + i), c = vld1q_u8(below + i);
  return {ColumnSums(vget_low_u8(a), vget_low_u8(b), vget_low_u8(c)),
          ColumnSums(vget_high_u8(a), vget_high_u8(b), vget_high_u8(c))};
}

// The 3x3 sums of 8 lanes from the column sums of the lanes P before
// (`left`), at (`centre`) and P after (`right`) them.
inline uint16x8_t BoxSums(uint16x8_t left, uint16x8_t centre, uint16x8_t right) {
  return vaddq_u16(vaddq_u16(left, centre), right);
}

// The means of two vectors of sums as 16 bytes, the low bytes of the lanes.
inline uint8x16_t Means16(uint16x8_t lowSums, uint16x8_t highSums) {
#if defined(__aarch64__)
  return vuzp1q_u8(vreinterpretq_u8_u16(DivideBy9(lowSums)),
                   vreinterpretq_u8_u16(DivideBy9(highSums)));
#else
  return vuzpq_u8(vreinterpretq_u8_u16(DivideBy9(lowSums)),
                  vreinterpretq_u8_u16(DivideBy9(highSums))).val[0];
#endif
}

// The means of the 16 bytes [s, s + 16) from the column sums of
// [s + P - 8, s + P + 16): 8 lanes `first`, then 16 (`next`). This reads no
// byte past s + P + 16, so it can end at a row's last interior byte.
template <int P>
inline uint8x16_t MeansFromWindow(uint16x8_t first, Sums16 next) {
  const uint16x8_t low = BoxSums(vextq_u16(first, next.low, 8 - 2 * P),
                                 vextq_u16(first, next.low, 8 - P), next.low);
  const uint16x8_t high = BoxSums(vextq_u16(next.low, next.high, 8 - 2 * P),
                                  vextq_u16(next.low, next.high, 8 - P), next.high);
  return Means16(low, high);
}

template <int P>
inline void StoreMeansAt(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                         uint8_t* means, ptrdiff_t s, uint8x16_t laneMask) {
  const ptrdiff_t firstAt = s + P - 8;
  const uint16x8_t first =
      ColumnSums(vld1_u8(above + firstAt), vld1_u8(row + firstAt), vld1_u8(below + firstAt));
  uint8x16_t packed = MeansFromWindow<P>(first, ColumnSums16(above, row, below, s + P));
  if constexpr (P == 4) packed = vandq_u8(packed, laneMask);
  vst1q_u8(means + s, packed);
}

// The means of the 16 bytes whose column sums are prev.high and next.low,
// from the column sums of the 16 bytes before and after (prev, next).
template <int P>
inline uint8x16_t MeansAcross(Sums16 prev, Sums16 next) {
  return Means16(BoxSums(vextq_u16(prev.low, prev.high, 8 - P), prev.high,
                         vextq_u16(prev.high, next.low, P)),
                 BoxSums(vextq_u16(prev.high, next.low, 8 - P), next.low,
                         vextq_u16(next.low, next.high, P)));
}

template <int P>
void MeansNeon(const uint8_t* above, const uint8_t* row, const uint8_t* below, uint8_t* means,
               ptrdiff_t rowBytes, RowShape shape) {
  if (rowBytes < 32) {
    MeansRangePortable(above, row, below, means, P, rowBytes - P, shape);
    return;
  }
  // Every step starts at a multiple of 8, and with 4-byte pixels the last
  // ones' starts, rowBytes - 20 and rowBytes - 36, at a multiple of 4, so the
  // lane mask's pattern lines up with every step.
  const uint8x16_t laneMask = vreinterpretq_u8_u32(vdupq_n_u32(shape.laneMask));
  // Bytes 0..7, with no column sums before them; the left border column's
  // bytes 0..P-1, which have no mean, are put back to zero.
  Sums16 sums = ColumnSums16(above, row, below, 0);
  const uint16x8_t firstSums = BoxSums(vextq_u16(vdupq_n_u16(0), sums.low, 8 - P), sums.low,
                                       vextq_u16(sums.low, sums.high, P));
  vst1_u8(means, vand_u8(vmovn_u16(DivideBy9(firstSums)), vget_low_u8(laneMask)));
  for (int k = 0; k < P; ++k) means[k] = 0;
  // Steps of 16 bytes from byte i - 8, each with the column sums of the 16
  // bytes at i, two at a time: each loads its sums where the previous
  // step's sums no longer needed lie, so none is copied.
  ptrdiff_t i = 16;
  for (; i + 32 <= rowBytes; i += 32) {
    const Sums16 next = ColumnSums16(above, row, below, i);
    uint8x16_t packed = MeansAcross<P>(sums, next);
    if constexpr (P == 4) packed = vandq_u8(packed, laneMask);
    vst1q_u8(means + i - 8, packed);
    sums = ColumnSums16(above, row, below, i + 16);
    packed = MeansAcross<P>(next, sums);
    if constexpr (P == 4) packed = vandq_u8(packed, laneMask);
    vst1q_u8(means + i + 8, packed);
  }
  if (i + 16 <= rowBytes) {
    const Sums16 next = ColumnSums16(above, row, below, i);
    uint8x16_t packed = MeansAcross<P>(sums, next);
    if constexpr (P == 4) packed = vandq_u8(packed, laneMask);
    vst1q_u8(means + i - 8, packed);
    i += 16;
  }
  // The means of [i - 8, rowBytes - P) remain, fewer than 24: the steps that
  // end 16 bytes before the last interior byte (where more than 16 remain)
  // and at it.
  const ptrdiff_t lastStep = rowBytes - P - 16;
  if (i - 8 < lastStep) StoreMeansAt<P>(above, row, below, means, lastStep - 16, laneMask);
  StoreMeansAt<P>(above, row, below, means, lastStep, laneMask);
}

void AddRowNeon(uint8_t* row, const uint8_t* means, ptrdiff_t rowBytes, RowShape shape) {
  const ptrdiff_t begin = shape.pixelBytes, end = rowBytes - shape.pixelBytes;
  if (end - begin < 16) {
    AddRangePortable(row, means, begin, end);
    return;
  }
  // The last 16 bytes are added before the steps that may overlap them and
  // stored after them: each byte's sum is taken from its value before the add.
  const ptrdiff_t lastStep = end - 16;
  const uint8x16_t last = vqaddq_u8(vld1q_u8(row + lastStep), vld1q_u8(means + lastStep));
  const auto addAt = [row, means](ptrdiff_t i) {
    vst1q_u8(row + i, vqaddq_u8(vld1q_u8(row + i), vld1q_u8(means + i)));
  };
  ptrdiff_t i = begin;
  for (; i + 32 <= lastStep; i += 32) {
    addAt(i);
    addAt(i + 16);
  }
  for (; i < lastStep; i += 16) addAt(i);
  vst1q_u8(row + lastStep, last);
}

}  // namespace

const GlowRowKernels kNeonRowKernels{MeansRowByPixelBytes<MeansNeon<3>, MeansNeon<4>>,
                                     AddRowNeon};

}  // namespace quorbix

#endif  // QBG_GLOW_NEON
