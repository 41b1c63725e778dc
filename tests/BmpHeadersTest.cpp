// Layout derivation and its overflow edges, which need no real file.
#include "BmpHeaders.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "support/BmpBuilder.h"

namespace {

using quorbix::ComputePixelLayout;
using quorbix::LayoutVerdict;
using quorbix::PixelLayout;
using testbmp::Bytes;

LayoutVerdict Verdict(int32_t width, int32_t height, uint16_t bits, uint64_t fileSize,
                      PixelLayout* layout = nullptr) {
  PixelLayout scratch{};
  const Bytes headers = testbmp::Headers(width, height, bits);
  return ComputePixelLayout(headers.data(), headers.size(), fileSize,
                            layout ? layout : &scratch);
}

// 32-bit headers with biCompression and colour masks, the first `headBytes`
// of them given for a file of `fileSize` bytes.
LayoutVerdict MaskVerdict(uint32_t compression, uint32_t red, uint32_t green, uint32_t blue,
                          PixelLayout* layout, int32_t width = 4, size_t headBytes = 66,
                          uint64_t fileSize = 1 << 20) {
  Bytes head = testbmp::Headers(width, 3, 32, 66);
  head.resize(66);
  testbmp::SetColourMasks(head, compression, red, green, blue);
  return ComputePixelLayout(head.data(), headBytes, fileSize, layout);
}

TEST(PixelLayout, StrideRoundsRowsUpToWholeWords) {
  for (auto [width, stride] : {std::pair{1, 4}, {4, 12}, {5, 16}, {6, 20}, {7, 24}}) {
    PixelLayout layout{};
    ASSERT_EQ(Verdict(width, -3, 24, 1 << 20, &layout), LayoutVerdict::kAccepted);
    EXPECT_EQ(layout.stride, stride);
    EXPECT_EQ(layout.height, 3);
    EXPECT_EQ(layout.pixelSize, 3 * stride);
    EXPECT_EQ(layout.format.pixelBytes, 3);
  }
  PixelLayout layout{};
  ASSERT_EQ(Verdict(-5, 2, 32, 1 << 20, &layout), LayoutVerdict::kAccepted);
  EXPECT_EQ(layout.width, 5);
  EXPECT_EQ(layout.stride, 20);
}

TEST(PixelLayout, ThirtyTwoBitEdgesAreExact) {
  // 89478484 * 24 + 31 = 2147483647 fits; one pixel more does not.
  EXPECT_EQ(Verdict(89478484, 1, 24, uint64_t{1} << 32), LayoutVerdict::kAccepted);
  EXPECT_EQ(Verdict(89478485, 1, 24, uint64_t{1} << 32), LayoutVerdict::kRowSizeOverflow);
  // stride 4 * 536870911 = 2147483644 fits; 536870912 rows of 4 bytes do not.
  EXPECT_EQ(Verdict(1, 536870911, 24, uint64_t{1} << 32), LayoutVerdict::kAccepted);
  EXPECT_EQ(Verdict(1, 536870912, 24, uint64_t{1} << 32), LayoutVerdict::kPixelSizeOverflow);
  EXPECT_EQ(Verdict(INT32_MIN, 1, 24, 1000), LayoutVerdict::kDimensionIsInt32Min);
  EXPECT_EQ(Verdict(INT32_MAX, 1, 24, 1000), LayoutVerdict::kRowSizeOverflow);
}

TEST(PixelLayout, FileMustHoldEveryPixelByte) {
  // 5 wide, 2 high: stride 16, 15 pixel bytes in the last row.
  EXPECT_EQ(Verdict(5, 2, 24, 54 + 16 + 15), LayoutVerdict::kAccepted);
  EXPECT_EQ(Verdict(5, 2, 24, 54 + 16 + 14), LayoutVerdict::kTruncatedPixels);
  EXPECT_EQ(Verdict(5, 2, 24, 53), LayoutVerdict::kTruncatedHeaders);
  EXPECT_EQ(Verdict(5, 2, 32, 54 + 20 + 19), LayoutVerdict::kTruncatedPixels);
  // Nothing to read: any size of header-only file is fine.
  EXPECT_EQ(Verdict(0, 7, 24, 54), LayoutVerdict::kAccepted);
  EXPECT_EQ(Verdict(7, 0, 32, 54), LayoutVerdict::kAccepted);
}

std::pair<int, int> Format(const PixelLayout& layout) {
  return {layout.format.pixelBytes, layout.format.keptByte};
}

TEST(PixelLayout, OnlyTwentyFourAndThirtyTwoBitsWhateverTheSize) {
  for (uint16_t bits : {0, 1, 8, 16, 23, 25, 31, 33, 48, 64, 65535}) {
    for (int32_t width : {5, 0}) {
      EXPECT_EQ(Verdict(width, 2, bits, 1 << 20), LayoutVerdict::kUnsupportedBitCount) << bits;
    }
  }
}

// Byte 3 is kept unless biCompression is 3 or 6 (the masks then need not be
// in the file); with those, the byte that no colour mask names, in any order.
TEST(PixelLayout, ThirtyTwoBitPixelsKeepTheByteNoColourMaskNames) {
  PixelLayout layout{};
  for (uint32_t compression : {0u, 1u, 5u, 0xFFFFFFFFu}) {
    ASSERT_EQ(MaskVerdict(compression, 0, 0, 0, &layout, 4, 54), LayoutVerdict::kAccepted);
    EXPECT_EQ(Format(layout), std::pair(4, 3)) << compression;
  }
  for (uint32_t compression : {3u, 6u}) {
    for (int r = 0; r < 4; ++r)
      for (int g = 0; g < 4; ++g)
        for (int b = 0; b < 4; ++b) {
          if (r == g || r == b || g == b) continue;
          ASSERT_EQ(MaskVerdict(compression, 0xFFu << 8 * r, 0xFFu << 8 * g, 0xFFu << 8 * b,
                                &layout), LayoutVerdict::kAccepted);
          EXPECT_EQ(Format(layout), std::pair(4, 6 - r - g - b));
        }
  }
}

TEST(PixelLayout, OtherMasksAndMissingMasksAreRefusedWhateverTheSize) {
  PixelLayout layout{};
  for (int32_t width : {4, 0}) {
    // 10-10-10, two on one byte, zero, two bytes wide, not on a byte.
    for (auto [red, green, blue] : {std::tuple{0x3FF00000u, 0xFFC00u, 0x3FFu},
                                    {0xFF0000u, 0xFF0000u, 0xFFu}, {0xFF0000u, 0xFF00u, 0u},
                                    {0xFFFF0000u, 0xFF00u, 0xFFu}, {0xFF0000u, 0xFF00u, 0xFF0u}}) {
      EXPECT_EQ(MaskVerdict(3, red, green, blue, &layout, width),
                LayoutVerdict::kColourMasksUnusable)
          << std::hex << red << " " << green << " " << blue;
    }
    for (uint64_t fileSize : {54u, 65u}) {  // the file ends before the 12 mask bytes
      EXPECT_EQ(MaskVerdict(6, 0xFF0000, 0xFF00, 0xFF, &layout, width, fileSize, fileSize),
                LayoutVerdict::kColourMasksMissing) << fileSize;
    }
  }
  // The first 66 bytes of a larger file are enough.
  EXPECT_EQ(MaskVerdict(3, 0xFF0000, 0xFF00, 0xFF, &layout, 4, 66, 66 + 48),
            LayoutVerdict::kAccepted);
}

}  // namespace
