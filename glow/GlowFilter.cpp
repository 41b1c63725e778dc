#include "GlowFilter.h"

#include <cstddef>

#include "GlowPaths.h"
#include "GlowRows.h"

namespace quorbix {
namespace {

// One walk down the image (see GlowRows.h), for every pixel format. Rows 0
// and height - 1 and the border columns are never written, so they stay as
// they are in `pixels` and zero in `glow`; the fill bytes after the pixels
// are neither read nor written.
void RunGlow(const GlowRowKernels& kernels, uint8_t* pixels, uint8_t* glow, int32_t width,
             int32_t height, int32_t stride, PixelFormat format) {
  if (width <= 2 || height <= 2) return;  // no interior pixel: nothing changes
  const RowShape shape = RowShapeFor(format);
  const ptrdiff_t rowBytes = ptrdiff_t{shape.pixelBytes} * width;
  const auto rowAt = [stride](int32_t y) { return static_cast<ptrdiff_t>(y) * stride; };
  for (int32_t y = 1; y <= height - 2; ++y) {
    uint8_t* row = pixels + rowAt(y);
    kernels.means(row - stride, row, row + stride, glow + rowAt(y), rowBytes, shape);
    // Row y's means were the last to need row y - 1 unfiltered.
    if (y >= 2) kernels.add(row - stride, glow + rowAt(y - 1), rowBytes, shape);
  }
  kernels.add(pixels + rowAt(height - 2), glow + rowAt(height - 2), rowBytes, shape);
}

const GlowRowKernels* KernelsFor(GlowPath path) {
  switch (path) {
    case GlowPath::kPortable:
      return &kPortableRowKernels;
#if QBG_GLOW_X86
    case GlowPath::kSse2:
      return &kSse2RowKernels;  // every x86-64 processor has SSE2
    case GlowPath::kAvx2:
      return CpuHasAvx2() ? &kAvx2RowKernels : nullptr;
#endif
    default:
      return nullptr;
  }
}

GlowPath ChoosePath() {
  if (KernelsFor(GlowPath::kAvx2) != nullptr) return GlowPath::kAvx2;
  if (KernelsFor(GlowPath::kSse2) != nullptr) return GlowPath::kSse2;
  return GlowPath::kPortable;
}

}  // namespace

RowShape RowShapeFor(PixelFormat format) {
  if (format.pixelBytes != 4) return RowShape{3, ~uint32_t{0}};
  return RowShape{4, ~(uint32_t{0xFF} << (8 * (format.keptByte & 3)))};
}

bool GlowPathAvailable(GlowPath path) { return KernelsFor(path) != nullptr; }

GlowPath ChosenGlowPath() {
  static const GlowPath chosen = ChoosePath();  // once per process, thread-safe
  return chosen;
}

bool ApplyGlowFilterOnPath(GlowPath path, uint8_t* pixels, uint8_t* glow, int32_t width,
                           int32_t height, int32_t stride, PixelFormat format) {
  const GlowRowKernels* kernels = KernelsFor(path);
  if (kernels == nullptr) return false;
  RunGlow(*kernels, pixels, glow, width, height, stride, format);
  return true;
}

void ApplyGlowFilterInFormat(uint8_t* pixels, uint8_t* glow, int32_t width, int32_t height,
                             int32_t stride, PixelFormat format) {
  static const GlowRowKernels* const kernels = KernelsFor(ChosenGlowPath());
  RunGlow(*kernels, pixels, glow, width, height, stride, format);
}

void ApplyGlowFilter(uint8_t* pixels, uint8_t* glow, int32_t width, int32_t height,
                     int32_t stride) {
  ApplyGlowFilterInFormat(pixels, glow, width, height, stride, kThreeBytePixels);
}

}  // namespace quorbix
