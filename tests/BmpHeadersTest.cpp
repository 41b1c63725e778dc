// Layout derivation and its overflow edges, which need no real file.
#include "BmpHeaders.h"

#include <gtest/gtest.h>

#include "support/BmpBuilder.h"

namespace {

using quorbix::ComputePixelLayout;
using quorbix::LayoutVerdict;
using quorbix::PixelLayout;

LayoutVerdict Verdict(int32_t width, int32_t height, uint16_t bits, uint64_t fileSize,
                      PixelLayout* layout = nullptr) {
  PixelLayout scratch{};
  const testbmp::Bytes headers = testbmp::Headers(width, height, bits);
  const size_t prefixSize = fileSize < headers.size() ? static_cast<size_t>(fileSize) : headers.size();
  return ComputePixelLayout(headers.data(), prefixSize, fileSize, layout ? layout : &scratch);
}

TEST(PixelLayout, StrideRoundsRowsUpToWholeWords) {
  for (auto [width, stride] : {std::pair{1, 4}, {4, 12}, {5, 16}, {6, 20}, {7, 24}}) {
    PixelLayout layout{};
    ASSERT_EQ(Verdict(width, -3, 24, 1 << 20, &layout), LayoutVerdict::kAccepted);
    EXPECT_EQ(layout.stride, stride);
    EXPECT_EQ(layout.height, 3);
    EXPECT_EQ(layout.pixelSize, 3 * stride);
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
  // Rows too short for 3 bytes a pixel, whatever the file holds.
  EXPECT_EQ(Verdict(5, 2, 16, 1 << 20), LayoutVerdict::kRowsTooShort);
  // Nothing to read: any size of header-only file is fine.
  EXPECT_EQ(Verdict(0, 7, 24, 54), LayoutVerdict::kAccepted);
  EXPECT_EQ(Verdict(7, 0, 1, 54), LayoutVerdict::kAccepted);
}

}  // namespace
