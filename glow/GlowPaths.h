// The glow filter's implementations, for tests, fuzzing and benchmarks.
//
// ApplyGlowFilter picks the fastest implementation the processor runs, once
// per process. These functions run a chosen one instead; they are internal
// (tests and benchmarks link the filter's objects directly) and never exported.
#pragma once

#include <cstdint>

#include "GlowFilter.h"

namespace quorbix {

enum class GlowPath : int {
  kPortable,  // integer code alone (no division, no floating point): every processor
  kSse2,      // x86-64 baseline
  kAvx2,      // x86-64 processors with AVX2
};

// Whether this build contains `path` and this processor can run it.
bool GlowPathAvailable(GlowPath path);

// The path ApplyGlowFilter takes in this process.
GlowPath ChosenGlowPath();

// ApplyGlowFilterInFormat on `path`, with the same contract. Returns false
// and does nothing when the path is not available.
bool ApplyGlowFilterOnPath(GlowPath path, uint8_t* pixels, uint8_t* glow, int32_t width,
                           int32_t height, int32_t stride,
                           PixelFormat format = kThreeBytePixels);

}  // namespace quorbix
