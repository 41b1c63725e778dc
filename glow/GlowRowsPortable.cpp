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
// neighbour), so it is computed once and kept. The row is taken P bytes (one
// pixel) at a time; byte k of each step keeps its own channel's left and
// centre column sums and lane mask, all in registers once unrolled.
template <int P>
void MeansRange(const uint8_t* above, const uint8_t* row, const uint8_t* below, uint8_t* means,
                ptrdiff_t from, ptrdiff_t to, uint32_t laneMask) {
  uint32_t left[P], centre[P];
  uint8_t lanes[P];
  for (int k = 0; k < P; ++k) {
    left[k] = ColumnSum(above, row, below, from - P + k);
    centre[k] = ColumnSum(above, row, below, from + k);
    lanes[k] = LaneMaskByte(laneMask, from + k);  // i + k has the lane of from + k
  }
  for (ptrdiff_t i = from; i < to; i += P) {
    for (int k = 0; k < P && i + k < to; ++k) {
      const uint32_t right = ColumnSum(above, row, below, i + P + k);
      means[i + k] = DivideBy9(left[k] + centre[k] + right) & lanes[k];
      left[k] = centre[k];
      centre[k] = right;
    }
  }
}

void MeansRowPortable(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                    uint8_t* means, ptrdiff_t rowBytes, RowShape shape) {
  MeansRangePortable(above, row, below, means, shape.pixelBytes, rowBytes - shape.pixelBytes,
                   shape);
}

void AddRowPortable(uint8_t* row, const uint8_t* means, ptrdiff_t rowBytes, RowShape shape) {
  AddRangePortable(row, means, shape.pixelBytes, rowBytes - shape.pixelBytes);
}

}  // namespace

void MeansRangePortable(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                      uint8_t* means, ptrdiff_t from, ptrdiff_t to, RowShape shape) {
  if (from >= to) return;
  if (shape.pixelBytes == 4) {
    MeansRange<4>(above, row, below, means, from, to, shape.laneMask);
  } else {
    MeansRange<3>(above, row, below, means, from, to, shape.laneMask);
  }
}

void AddRangePortable(uint8_t* row, const uint8_t* means, ptrdiff_t from, ptrdiff_t to) {
  for (ptrdiff_t i = from; i < to; ++i) row[i] = SaturatingAdd(row[i], means[i]);
}

const GlowRowKernels kPortableRowKernels{MeansRowPortable, AddRowPortable};

}  // namespace quorbix
