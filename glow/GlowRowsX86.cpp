// SSE2 and AVX2 row kernels for x86-64.
//
// Means: the three rows are summed per byte into 16-bit lanes (column sums),
// then each lane adds the column sums P lanes to its left and right (P = 3
// or 4, the pixel's bytes), which are the same channel of the neighbouring
// pixels, so the interleaved channels need no sorting. The lanes P to the
// side are taken from the neighbouring vectors of column sums, so every
// column sum is computed once. The division by 9 is the multiply-high of
// DivideBy9; with 4-byte pixels the means are then masked by lane (a vector
// step starts at a multiple of 16 bytes, so the 4-byte mask pattern lines up
// with it). The add saturates.
//
// The AVX2 functions carry the target attribute instead of the whole file
// being built for AVX2: the file stays runnable on any x86-64, and the AVX2
// kernels are used only after CpuHasAvx2() said yes.
#include "GlowRows.h"

#if QBG_GLOW_X86

#include <immintrin.h>

#define QBG_AVX2 __attribute__((target("avx2")))

namespace quorbix {
namespace {

// ---- SSE2: 16 bytes a step, as two vectors of 8 column sums ----

inline __m128i LoadBytes128(const uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// Column sums of the 16 bytes at i: bytes i..i+7 into `low`, i+8..i+15 into `high`.
inline void ColumnSums128(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                          ptrdiff_t i, __m128i* low, __m128i* high) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i a = LoadBytes128(above + i);
  const __m128i b = LoadBytes128(row + i);
  const __m128i c = LoadBytes128(below + i);
  *low = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)),
                       _mm_unpacklo_epi8(c, zero));
  *high = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)),
                        _mm_unpackhi_epi8(c, zero));
}

// Means of the 8 bytes whose column sums are `current`, given the column sums
// of the 8 bytes before and after; P lanes (2 * P bytes) to either side.
template <int P>
inline __m128i BoxMeans128(__m128i before, __m128i current, __m128i after) {
  const __m128i left =
      _mm_or_si128(_mm_slli_si128(current, 2 * P), _mm_srli_si128(before, 16 - 2 * P));
  const __m128i right =
      _mm_or_si128(_mm_srli_si128(current, 2 * P), _mm_slli_si128(after, 16 - 2 * P));
  const __m128i sums = _mm_add_epi16(_mm_add_epi16(left, current), right);
  return _mm_mulhi_epu16(sums, _mm_set1_epi16(static_cast<short>(kNinthMultiplier)));
}

template <int P>
void MeansSse2(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                  uint8_t* means, ptrdiff_t rowBytes, RowShape shape) {
  // Steps of 16 bytes start at byte 0 and read 16 bytes ahead, so they run
  // while 32 bytes remain; the first step's bytes 0..P-1 (the left border
  // column, which has no mean) are put back to zero afterwards.
  ptrdiff_t i = 0;
  if (rowBytes >= 32) {
    const __m128i laneMask = _mm_set1_epi32(static_cast<int>(shape.laneMask));
    __m128i before = _mm_setzero_si128(), low, high, nextLow, nextHigh;
    ColumnSums128(above, row, below, 0, &low, &high);
    for (; i + 32 <= rowBytes; i += 16) {
      ColumnSums128(above, row, below, i + 16, &nextLow, &nextHigh);
      __m128i packed = _mm_packus_epi16(BoxMeans128<P>(before, low, high),
                                        BoxMeans128<P>(low, high, nextLow));
      if constexpr (P == 4) packed = _mm_and_si128(packed, laneMask);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(means + i), packed);
      before = high;
      low = nextLow;
      high = nextHigh;
    }
    for (int k = 0; k < P; ++k) means[k] = 0;
  }
  MeansRangePortable(above, row, below, means, i > P ? i : P, rowBytes - P, shape);
}

void MeansRowSse2(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                     uint8_t* means, ptrdiff_t rowBytes, RowShape shape) {
  if (shape.pixelBytes == 4) {
    MeansSse2<4>(above, row, below, means, rowBytes, shape);
  } else {
    MeansSse2<3>(above, row, below, means, rowBytes, shape);
  }
}

void AddRowSse2(uint8_t* row, const uint8_t* means, ptrdiff_t rowBytes, RowShape shape) {
  const ptrdiff_t end = rowBytes - shape.pixelBytes;
  ptrdiff_t i = shape.pixelBytes;
  for (; i + 16 <= end; i += 16) {
    __m128i* at = reinterpret_cast<__m128i*>(row + i);
    _mm_storeu_si128(at, _mm_adds_epu8(_mm_loadu_si128(at), LoadBytes128(means + i)));
  }
  AddRangePortable(row, means, i, end);
}

// ---- AVX2: 32 bytes a step, as two vectors of 16 column sums ----

QBG_AVX2 inline __m256i ColumnSums256(const uint8_t* above, const uint8_t* row,
                                      const uint8_t* below, ptrdiff_t i) {
  const __m256i a = _mm256_cvtepu8_epi16(LoadBytes128(above + i));
  const __m256i b = _mm256_cvtepu8_epi16(LoadBytes128(row + i));
  const __m256i c = _mm256_cvtepu8_epi16(LoadBytes128(below + i));
  return _mm256_add_epi16(_mm256_add_epi16(a, b), c);
}

// Means of the 16 bytes whose column sums are `current`, given the column
// sums of the 16 bytes before and after; P lanes to either side. The byte
// shifts of AVX2 stay within 128-bit halves, so each neighbour is a 16-lane
// window taken across two vectors: permute the adjoining halves together,
// then align.
template <int P>
QBG_AVX2 inline __m256i BoxMeans256(__m256i before, __m256i current, __m256i after) {
  const __m256i beforeCurrent = _mm256_permute2x128_si256(before, current, 0x21);
  const __m256i currentAfter = _mm256_permute2x128_si256(current, after, 0x21);
  const __m256i left = _mm256_alignr_epi8(current, beforeCurrent, 16 - 2 * P);
  const __m256i right = _mm256_alignr_epi8(currentAfter, current, 2 * P);
  const __m256i sums = _mm256_add_epi16(_mm256_add_epi16(left, current), right);
  return _mm256_mulhi_epu16(sums, _mm256_set1_epi16(static_cast<short>(kNinthMultiplier)));
}

template <int P>
QBG_AVX2 void MeansAvx2(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                           uint8_t* means, ptrdiff_t rowBytes, RowShape shape) {
  // As the SSE2 kernel, in steps of 32 bytes that read 16 bytes ahead.
  ptrdiff_t i = 0;
  if (rowBytes >= 48) {
    const __m256i laneMask = _mm256_set1_epi32(static_cast<int>(shape.laneMask));
    __m256i before = _mm256_setzero_si256();
    __m256i current = ColumnSums256(above, row, below, 0);
    for (; i + 48 <= rowBytes; i += 32) {
      const __m256i next = ColumnSums256(above, row, below, i + 16);
      const __m256i afterNext = ColumnSums256(above, row, below, i + 32);
      // packus interleaves the 128-bit halves of its operands; permute4x64
      // puts the 32 means back in order.
      const __m256i packed = _mm256_packus_epi16(BoxMeans256<P>(before, current, next),
                                                 BoxMeans256<P>(current, next, afterNext));
      __m256i ordered = _mm256_permute4x64_epi64(packed, 0xD8);
      if constexpr (P == 4) ordered = _mm256_and_si256(ordered, laneMask);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(means + i), ordered);
      before = next;
      current = afterNext;
    }
    for (int k = 0; k < P; ++k) means[k] = 0;
  }
  MeansRangePortable(above, row, below, means, i > P ? i : P, rowBytes - P, shape);
}

QBG_AVX2 void MeansRowAvx2(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                              uint8_t* means, ptrdiff_t rowBytes, RowShape shape) {
  if (shape.pixelBytes == 4) {
    MeansAvx2<4>(above, row, below, means, rowBytes, shape);
  } else {
    MeansAvx2<3>(above, row, below, means, rowBytes, shape);
  }
}

QBG_AVX2 void AddRowAvx2(uint8_t* row, const uint8_t* means, ptrdiff_t rowBytes,
                         RowShape shape) {
  const ptrdiff_t end = rowBytes - shape.pixelBytes;
  ptrdiff_t i = shape.pixelBytes;
  for (; i + 32 <= end; i += 32) {
    __m256i* at = reinterpret_cast<__m256i*>(row + i);
    const __m256i add = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(means + i));
    _mm256_storeu_si256(at, _mm256_adds_epu8(_mm256_loadu_si256(at), add));
  }
  AddRangePortable(row, means, i, end);
}

}  // namespace

const GlowRowKernels kSse2RowKernels{MeansRowSse2, AddRowSse2};
const GlowRowKernels kAvx2RowKernels{MeansRowAvx2, AddRowAvx2};

bool CpuHasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

}  // namespace quorbix

#endif  // QBG_GLOW_X86
