// Image blocks: every byte usable, zeroed when asked, and (on Linux) the
// pages of a block that will be written whole already in place.
#include "ImageBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

using quorbix::AllocateImageBuffer;
using quorbix::BlockUse;
using quorbix::ReleaseImageBuffer;

constexpr size_t kMiB = size_t{1} << 20;
constexpr BlockUse kUses[] = {BlockUse::kFilledLater, BlockUse::kFilledWhole,
                              BlockUse::kZeroedWhole};

TEST(ImageBuffer, EveryByteUsableAndZeroedWhenAsked) {
  // Heap blocks below 2 MiB, mapped ones from there on, with odd tails.
  for (size_t size : {size_t{0}, size_t{1}, size_t{4097}, 2 * kMiB - 1, 2 * kMiB, 9 * kMiB + 5}) {
    for (BlockUse use : kUses) {
      uint8_t* block = AllocateImageBuffer(size, use);
      ASSERT_NE(block, nullptr) << size;
      if (use == BlockUse::kZeroedWhole) {
        size_t nonZero = 0;
        for (size_t i = 0; i < size; ++i) nonZero += block[i] != 0;
        EXPECT_EQ(nonZero, 0u) << size;
      }
      // A block shorter than asked faults here, or AddressSanitizer reports it.
      std::memset(block, 0xA5, size);
      ReleaseImageBuffer(block, size);
    }
  }
  ReleaseImageBuffer(nullptr, 0);
  ReleaseImageBuffer(nullptr, 9 * kMiB);
}

#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
// How many of the block's pages are resident.
size_t ResidentPages(uint8_t* block, size_t size) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> resident((size + page - 1) / page);
  if (mincore(block, size, resident.data()) != 0) return 0;
  size_t count = 0;
  for (unsigned char r : resident) count += r & 1;
  return count;
}

// A block about to be written whole arrives with its pages in place (no fault
// per page in the middle of the read or the filter); a stream buffer, which
// may stay mostly unused, does not.
TEST(ImageBuffer, BlocksWrittenWholeArriveResident) {
  const size_t size = 8 * kMiB + 3;
  const size_t pages = (size + static_cast<size_t>(sysconf(_SC_PAGESIZE)) - 1) /
                       static_cast<size_t>(sysconf(_SC_PAGESIZE));
  {
    // Kernels before 5.14 and user-mode emulators take the advice without
    // acting on it: nothing to check there.
    void* probe = mmap(nullptr, 2 * kMiB, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                       -1, 0);
    ASSERT_NE(probe, MAP_FAILED);
    const bool populates = madvise(probe, 2 * kMiB, MADV_POPULATE_WRITE) == 0 &&
                           ResidentPages(static_cast<uint8_t*>(probe), 2 * kMiB) > 0;
    munmap(probe, 2 * kMiB);
    if (!populates) GTEST_SKIP() << "this kernel does not populate on advice";
  }
  for (BlockUse use : {BlockUse::kFilledWhole, BlockUse::kZeroedWhole}) {
    uint8_t* block = AllocateImageBuffer(size, use);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(ResidentPages(block, size), pages);
    ReleaseImageBuffer(block, size);
  }
  uint8_t* stream = AllocateImageBuffer(size, BlockUse::kFilledLater);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(ResidentPages(stream, size), 0u);
  ReleaseImageBuffer(stream, size);
}
#endif

}  // namespace
