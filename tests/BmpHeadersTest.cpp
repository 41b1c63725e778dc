// Layout derivation and its overflow edges, which need no real file.
#include "BmpHeaders.h"

#include <gtest/gtest.h>

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

// The verdict on 32-bit headers with colour masks, of which the first
// `headBytes` are given for a file of `fileSize` bytes.
LayoutVerdict MaskVerdict(uint32_t compression, uint32_t red, uint32_t green, uint32_t blue,
                          int32_t width = 4, size_t headBytes = 66, uint64_t fileSize = 1 << 20,
                          PixelLayout* layout = nullptr) {
  Bytes head = testbmp::Headers(width, 3, 32, 66);
  head.resize(66);
  testbmp::SetColourMasks(head, compression, red, green, blue);
  head.resize(headBytes);
  PixelLayout scratch{};
  return ComputePixelLayout(head.data(), head.size(), fileSize, layout ? layout : &scratch);
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

TEST(PixelLayout, OnlyTwentyFourAndThirtyTwoBitsWhateverTheSize) {
  for (uint16_t bits : {0, 1, 4, 8, 16, 23, 25, 31, 33, 40, 48, 64, 65535}) {
    for (auto [width, height] : {std::pair{5, 2}, {0, 0}, {0, 7}, {7, 0}}) {
      EXPECT_EQ(Verdict(width, height, bits, 1 << 20), LayoutVerdict::kUnsupportedBitCount)
          << bits << " bits, " << width << "x" << height;
    }
  }
}

TEST(PixelLayout, ThirtyTwoBitFourthByteIsByteThreeWithoutMasks) {
  // Every compression value but the two with masks: byte 3, masks unread.
  for (uint32_t compression : {0u, 1u, 2u, 4u, 5u, 7u, 0xFFFFFFFFu}) {
    PixelLayout layout{};
    ASSERT_EQ(MaskVerdict(compression, 0, 0, 0, 4, 54, 1 << 20, &layout),
              LayoutVerdict::kAccepted) << compression;
    EXPECT_EQ(layout.format.pixelBytes, 4);
    EXPECT_EQ(layout.format.keptByte, 3);
  }
}

TEST(PixelLayout, ColourMasksNameTheFourthByte) {
  // Every choice of three different whole bytes, under both compressions.
  for (uint32_t compression : {3u, 6u}) {
    for (int red = 0; red < 4; ++red)
      for (int green = 0; green < 4; ++green)
        for (int blue = 0; blue < 4; ++blue) {
          if (red == green || red == blue || green == blue) continue;
          PixelLayout layout{};
          ASSERT_EQ(MaskVerdict(compression, 0xFFu << 8 * red, 0xFFu << 8 * green,
                                0xFFu << 8 * blue, 4, 66, 1 << 20, &layout),
                    LayoutVerdict::kAccepted);
          EXPECT_EQ(layout.format.pixelBytes, 4);
          EXPECT_EQ(layout.format.keptByte, 6 - red - green - blue);
        }
  }
}

TEST(PixelLayout, OtherMasksAndMissingMasksAreRefusedWhateverTheSize) {
  struct Masks {
    uint32_t red, green, blue;
  };
  for (int32_t width : {4, 0}) {
    for (const Masks& m : {Masks{0x3FF00000, 0xFFC00, 0x3FF},  // 10-10-10
                           Masks{0xFF0000, 0xFF0000, 0xFF},    // two on one byte
                           Masks{0xFF0000, 0xFF00, 0},         // zero
                           Masks{0xFFFF0000, 0xFF00, 0xFF},    // two bytes wide
                           Masks{0xF800, 0x7E0, 0x1F},         // 5-6-5
                           Masks{0xFF0000, 0xFF00, 0xFF0}}) {  // not on a byte
      EXPECT_EQ(MaskVerdict(3, m.red, m.green, m.blue, width), LayoutVerdict::kColourMasksUnusable)
          << std::hex << m.red << " " << m.green << " " << m.blue;
    }
    // Files that end before the 12 mask bytes.
    for (uint64_t fileSize : {54u, 60u, 65u}) {
      EXPECT_EQ(MaskVerdict(6, 0xFF0000, 0xFF00, 0xFF, width, fileSize, fileSize),
                LayoutVerdict::kColourMasksMissing) << fileSize;
    }
  }
  // A head of the first 66 bytes of a larger file is enough.
  EXPECT_EQ(MaskVerdict(3, 0xFF0000, 0xFF00, 0xFF, 4, 66, 66 + 4 * 4 * 3),
            LayoutVerdict::kAccepted);
}

}  // namespace
