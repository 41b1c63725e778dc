#include "GlowFilter.h"

#include <cstddef>

namespace quorbix {
namespace {

constexpr int kChannels = 3;

// Pass 1: the per-channel 3x3 mean of every interior pixel into `glow`.
void ComputeBoxMeans(const uint8_t* pixels, uint8_t* glow, int32_t width, int32_t height,
                     ptrdiff_t stride) {
  if (width <= 2 || height <= 2) return;  // no interior pixel
  for (int32_t y = 1; y <= height - 2; ++y) {
    const uint8_t* above = pixels + (y - 1) * stride;
    const uint8_t* row = above + stride;
    const uint8_t* below = row + stride;
    uint8_t* means = glow + y * stride;
    for (ptrdiff_t i = kChannels; i < ptrdiff_t{kChannels} * (width - 1); ++i) {
      // The same channel of the left and right neighbours sits 3 bytes away.
      const int sum = above[i - 3] + above[i] + above[i + 3] +  //
                      row[i - 3] + row[i] + row[i + 3] +        //
                      below[i - 3] + below[i] + below[i + 3];
      means[i] = static_cast<uint8_t>(sum / 9);  // sum <= 2295, so the mean fits a byte
    }
  }
}

// Pass 2: each channel plus its mean, saturating at 255. Border positions of
// `glow` are zero, so border pixels come out unchanged.
void AddSaturating(uint8_t* pixels, const uint8_t* glow, int32_t width, int32_t height,
                   ptrdiff_t stride) {
  if (width <= 0 || height <= 0) return;
  const ptrdiff_t rowBytes = ptrdiff_t{kChannels} * width;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = pixels + y * stride;
    const uint8_t* means = glow + y * stride;
    for (ptrdiff_t i = 0; i < rowBytes; ++i) {
      const int total = row[i] + means[i];
      row[i] = static_cast<uint8_t>(total < 255 ? total : 255);
    }
  }
}

}  // namespace

void ApplyGlowFilter(uint8_t* pixels, uint8_t* glow, int32_t width, int32_t height,
                     int32_t stride) {
  ComputeBoxMeans(pixels, glow, width, height, stride);
  AddSaturating(pixels, glow, width, height, stride);
}

}  // namespace quorbix
