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

void MeansRowPortable(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                      uint8_t* means, ptrdiff_t rowBytes) {
  MeansRangePortable(above, row, below, means, kPixelBytes, rowBytes - kPixelBytes);
}

void AddRowPortable(uint8_t* row, const uint8_t* means, ptrdiff_t rowBytes) {
  AddRangePortable(row, means, kPixelBytes, rowBytes - kPixelBytes);
}

}  // namespace

void MeansRangePortable(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                        uint8_t* means, ptrdiff_t from, ptrdiff_t to) {
  if (from >= to) return;
  // Each column sum is used by three means (as the left, centre and right
  // neighbour), so it is computed once and kept in a ring of six: at byte i
  // the slot `left` holds the column at i - 3 and `left + 3` (mod 6) the one at i.
  uint32_t columns[6];
  for (int k = 0; k < 6; ++k) columns[k] = ColumnSum(above, row, below, from - 3 + k);
  int left = 0;
  for (ptrdiff_t i = from; i < to; ++i) {
    const int centre = left < 3 ? left + 3 : left - 3;
    const uint32_t right = ColumnSum(above, row, below, i + 3);
    means[i] = DivideBy9(columns[left] + columns[centre] + right);
    columns[left] = right;  // byte i + 3's centre column from now on
    left = left == 5 ? 0 : left + 1;
  }
}

void AddRangePortable(uint8_t* row, const uint8_t* means, ptrdiff_t from, ptrdiff_t to) {
  for (ptrdiff_t i = from; i < to; ++i) row[i] = SaturatingAdd(row[i], means[i]);
}

const GlowRowKernels kPortableRowKernels{MeansRowPortable, AddRowPortable};

}  // namespace quorbix
