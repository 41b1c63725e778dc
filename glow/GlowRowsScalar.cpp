// The portable row kernels: integer arithmetic only (no division, no floating
// point), so they run on processors that have neither in hardware.
#include "GlowRows.h"

namespace quorbix {
namespace {

// The three bytes of one channel stacked in a column: above, row, below.
inline uint32_t ColumnSum(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                          ptrdiff_t i) {
  return uint32_t{above[i]} + row[i] + below[i];
}

// Each column sum is used by three means (as the left, centre and right
// neighbour), so it is computed once and kept in a ring of 2 * P: at byte i
// the slot `left` holds the column at i - P and `left + P` (mod 2 * P) the
// one at i. With 4-byte pixels every mean is masked by its lane.
template <int P>
void MeansRange(const uint8_t* above, const uint8_t* row, const uint8_t* below, uint8_t* means,
                ptrdiff_t from, ptrdiff_t to, uint32_t laneMask) {
  uint32_t columns[2 * P];
  for (int k = 0; k < 2 * P; ++k) columns[k] = ColumnSum(above, row, below, from - P + k);
  int left = 0;
  for (ptrdiff_t i = from; i < to; ++i) {
    const int centre = left < P ? left + P : left - P;
    const uint32_t right = ColumnSum(above, row, below, i + P);
    uint8_t mean = DivideBy9(columns[left] + columns[centre] + right);
    if constexpr (P == 4) mean &= LaneMaskByte(laneMask, i);
    means[i] = mean;
    columns[left] = right;  // byte i + P's centre column from now on
    left = left == 2 * P - 1 ? 0 : left + 1;
  }
}

void MeansRowScalar(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                    uint8_t* means, ptrdiff_t rowBytes, RowShape shape) {
  MeansRangeScalar(above, row, below, means, shape.pixelBytes, rowBytes - shape.pixelBytes,
                   shape);
}

void AddRowScalar(uint8_t* row, const uint8_t* means, ptrdiff_t rowBytes, RowShape shape) {
  AddRangeScalar(row, means, shape.pixelBytes, rowBytes - shape.pixelBytes);
}

}  // namespace

void MeansRangeScalar(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                      uint8_t* means, ptrdiff_t from, ptrdiff_t to, RowShape shape) {
  if (from >= to) return;
  if (shape.pixelBytes == 4) {
    MeansRange<4>(above, row, below, means, from, to, shape.laneMask);
  } else {
    MeansRange<3>(above, row, below, means, from, to, shape.laneMask);
  }
}

void AddRangeScalar(uint8_t* row, const uint8_t* means, ptrdiff_t from, ptrdiff_t to) {
  for (ptrdiff_t i = from; i < to; ++i) row[i] = SaturatingAdd(row[i], means[i]);
}

const GlowRowKernels kScalarRowKernels{MeansRowScalar, AddRowScalar};

}  // namespace quorbix
