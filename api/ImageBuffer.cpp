#include "ImageBuffer.h"

#include <cstdint>
#include <cstdlib>

#if !defined(_WIN32)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace quorbix {
namespace {

#if !defined(_WIN32)
// Image-sized blocks are mapped from the kernel directly, on a huge-page
// boundary and with huge pages asked for: a photo of tens of megabytes then
// costs a few dozen page faults instead of thousands, and the pages arrive
// zeroed, so the glow buffer needs no clearing. Smaller blocks stay on the heap.
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kMapThreshold = kHugePage;

size_t MappedLength(size_t size) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return (size + page - 1) / page * page;
}

uint8_t* MapBlock(size_t size, BlockUse use) {
  if (size > SIZE_MAX / 2) return nullptr;
  const size_t length = MappedLength(size);
  // One huge page more than needed, so that an aligned start exists inside;
  // the unaligned ends go back at once.
  void* mapped = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  uint8_t* const base = static_cast<uint8_t*>(mapped);
  const uintptr_t address = reinterpret_cast<uintptr_t>(base);
  const size_t head = (kHugePage - address % kHugePage) % kHugePage;
  uint8_t* const block = base + head;
  if (head > 0) munmap(base, head);
  munmap(block + length, kHugePage - head);
#if defined(MADV_HUGEPAGE)
  madvise(block, length, MADV_HUGEPAGE);  // advice only: without it, small pages
#endif
#if defined(MADV_POPULATE_WRITE)
  // A block about to be written whole gets its pages now, in one call: that
  // spares a fault per page (per 2 MiB with huge pages, per 4 KiB without,
  // where it halves the cost of a 72 MB block) in the middle of the read or
  // the filter. Advice too: a kernel without it (before 5.14) faults as usual.
  if (use != BlockUse::kFilledLater) madvise(block, length, MADV_POPULATE_WRITE);
#else
  (void)use;
#endif
  return block;
}
#endif

}  // namespace

uint8_t* AllocateImageBuffer(size_t size, BlockUse use) {
#if !defined(_WIN32)
  if (size >= kMapThreshold) return MapBlock(size, use);
#endif
  // At least one byte, so that an empty image still gets a distinct block.
  const size_t bytes = size == 0 ? 1 : size;
  void* block = use == BlockUse::kZeroedWhole ? std::calloc(bytes, 1) : std::malloc(bytes);
  return static_cast<uint8_t*>(block);
}

void ReleaseImageBuffer(uint8_t* block, size_t size) {
#if !defined(_WIN32)
  if (block != nullptr && size >= kMapThreshold) {
    munmap(block, MappedLength(size));
    return;
  }
#else
  (void)size;
#endif
  std::free(block);
}

}  // namespace quorbix
