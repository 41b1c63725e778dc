#include "ImageBuffer.h"

#include <cstdlib>

namespace quorbix {

uint8_t* AllocateImageBuffer(size_t size, bool zeroFill) {
  // At least one byte, so that an empty image still gets a distinct block.
  const size_t bytes = size == 0 ? 1 : size;
  void* block = zeroFill ? std::calloc(bytes, 1) : std::malloc(bytes);
  return static_cast<uint8_t*>(block);
}

void ReleaseImageBuffer(uint8_t* block, size_t /*size*/) { std::free(block); }

}  // namespace quorbix
