// The glow as two plain passes: a division per channel, a single-precision
// minimum per byte. Kept as the baseline of the benchmark only.
#pragma once

#include <cstdint>

void TwoPassGlow(uint8_t* pixels, uint8_t* glow, int32_t width, int32_t height, int32_t stride);
