// The glow filter: each interior pixel gains the mean of its 3x3 neighbourhood.
#pragma once

#include <cstdint>

namespace quorbix {

// How the bytes of one pixel are used. Each colour byte is glowed on its own,
// from the same byte of the neighbouring pixels; any other byte is kept.
struct PixelFormat {
  int32_t pixelBytes;  // 3 (blue, green, red) or 4 (three colour bytes and one other)
  int32_t keptByte;    // with 4 bytes, the one (0..3) that is not a colour; -1 with 3
};

constexpr PixelFormat kThreeBytePixels{3, -1};
// 4-byte pixels whose byte `keptByte` (alpha or unused) is never changed.
constexpr PixelFormat FourBytePixels(int32_t keptByte) { return PixelFormat{4, keptByte}; }

// Adds the glow to an image in BMP row layout, in place.
//
// pixels: `height` rows of `stride` bytes; the first 3 * width bytes of each
//         row are 3-byte pixels (blue, green, red), the rest are fill bytes
//         that the filter never touches.
// glow:   scratch of the same layout, all zero on entry. On return it holds,
//         at every interior pixel, the per-channel floor of the 3x3 mean of
//         the unfiltered image; border positions keep their zero.
// Every interior channel becomes min(255, value + mean); border pixels (first
// and last row and column) are unchanged. Requires stride >= 3 * width and
// both buffers at least (height - 1) * stride + 3 * width bytes long.
void ApplyGlowFilter(uint8_t* pixels, uint8_t* glow, int32_t width, int32_t height,
                     int32_t stride);

// The same for pixels of `format`: each row holds `width` pixels of
// format.pixelBytes bytes, then fill. A kept byte is neither changed nor
// given a mean (its glow stays zero). Requires stride >= pixelBytes * width
// and both buffers at least (height - 1) * stride + pixelBytes * width bytes.
void ApplyGlowFilterInFormat(uint8_t* pixels, uint8_t* glow, int32_t width, int32_t height,
                             int32_t stride, PixelFormat format);

}  // namespace quorbix
