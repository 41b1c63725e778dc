#include "ReferenceGlow.h"

namespace testbmp {

template <int PixelBytes, int KeptByte>
void ReferenceGlow(uint8_t* pixels, uint8_t* glow, int32_t width, int32_t height, int32_t stride) {
  // Pass 1: the 3x3 mean of every interior pixel, byte by byte.
  for (int32_t y = 1; y <= height - 2; ++y) {
    for (int32_t x = 1; x <= width - 2; ++x) {
      for (int32_t c = 0; c < PixelBytes; ++c) {
        if (c == KeptByte) continue;
        int32_t sum = 0;
        for (int32_t dy = -1; dy <= 1; ++dy) {
          for (int32_t dx = -1; dx <= 1; ++dx) {
            sum += pixels[(y + dy) * stride + PixelBytes * (x + dx) + c];
          }
        }
        glow[y * stride + PixelBytes * x + c] = static_cast<uint8_t>(sum / 9);
      }
    }
  }
  // Pass 2: add the means, saturating by a single-precision minimum.
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      for (int32_t c = 0; c < PixelBytes; ++c) {
        if (c == KeptByte) continue;
        const int32_t p = y * stride + PixelBytes * x + c;
        const int32_t v = pixels[p] + glow[p];
        pixels[p] = static_cast<uint8_t>(std::min(255.0f, static_cast<float>(v)));
      }
    }
  }
}

template void ReferenceGlow<3, -1>(uint8_t*, uint8_t*, int32_t, int32_t, int32_t);

void ReferenceGlow(uint8_t* pixels, uint8_t* glow, int32_t width, int32_t height, int32_t stride,
                   int pixelBytes, int keptByte) {
  using Layout = void (*)(uint8_t*, uint8_t*, int32_t, int32_t, int32_t);
  static const Layout kFourBytes[] = {ReferenceGlow<4, 0>, ReferenceGlow<4, 1>,
                                      ReferenceGlow<4, 2>, ReferenceGlow<4, 3>};
  const Layout layout = pixelBytes == 4 ? kFourBytes[keptByte & 3] : ReferenceGlow<3, -1>;
  layout(pixels, glow, width, height, stride);
}

}  // namespace testbmp
