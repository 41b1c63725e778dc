// Blocks for the image: the file buffer and the glow buffer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorbix {

// What the caller will do with a block: whether it must start zeroed, and
// whether every page of it will be written at once (then its pages are put in
// place when it is allocated, in one step, rather than one fault at a time).
enum class BlockUse {
  kFilledLater,  // unspecified contents, filled as far as data comes (a stream)
  kFilledWhole,  // unspecified contents, about to be written end to end
  kZeroedWhole,  // zero bytes, about to be written (almost) end to end
};

// A block of `size` bytes for `use`, or null when it cannot be had.
uint8_t* AllocateImageBuffer(size_t size, BlockUse use);

// Releases a block from AllocateImageBuffer, given the size it was asked
// for (null is allowed).
void ReleaseImageBuffer(uint8_t* block, size_t size);

}  // namespace quorbix
