// Blocks for the image: the file buffer and the glow buffer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorbix {

// A block of `size` bytes, or null when it cannot be had. With zeroFill the
// bytes are zero; otherwise their contents are unspecified.
uint8_t* AllocateImageBuffer(size_t size, bool zeroFill);

// Releases a block from AllocateImageBuffer, given the size it was asked
// for (null is allowed).
void ReleaseImageBuffer(uint8_t* block, size_t size);

}  // namespace quorbix
