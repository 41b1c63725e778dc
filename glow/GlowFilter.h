// The glow filter: each interior pixel gains the mean of its 3x3 neighbourhood.
#pragma once

#include <cstdint>

namespace quorbix {

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

}  // namespace quorbix
