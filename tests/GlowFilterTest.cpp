// The glow filter on images built in memory.
#include "GlowFilter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "support/BmpBuilder.h"

namespace {

using quorbix::ApplyGlowFilter;
using testbmp::Bytes;

struct Image {
  int32_t width, height, stride;
  Bytes pixels;
  uint8_t& at(int32_t x, int32_t y, int c) { return pixels[y * stride + 3 * x + c]; }
};

Image Uniform(int32_t width, int32_t height, uint8_t value, int32_t stride = -1) {
  if (stride < 0) stride = testbmp::StrideFor(width);
  Image image{width, height, stride, Bytes(static_cast<size_t>(stride) * height, 0)};
  for (int32_t y = 0; y < height; ++y)
    for (int32_t i = 0; i < 3 * width; ++i) image.pixels[y * stride + i] = value;
  return image;
}

// Runs the filter with a fresh zeroed glow buffer; returns that buffer.
Bytes Glow(Image& image) {
  Bytes glow(image.pixels.size(), 0);
  ApplyGlowFilter(image.pixels.data(), glow.data(), image.width, image.height, image.stride);
  return glow;
}

bool IsBorder(const Image& image, int32_t x, int32_t y) {
  return x == 0 || y == 0 || x == image.width - 1 || y == image.height - 1;
}

TEST(GlowFilter, UniformImageDoublesInteriorAndSaturates) {
  for (uint8_t value : {uint8_t{100}, uint8_t{200}}) {
    Image image = Uniform(6, 5, value);
    const Bytes glow = Glow(image);
    const uint8_t interior = value == 100 ? 200 : 255;
    for (int32_t y = 0; y < image.height; ++y)
      for (int32_t x = 0; x < image.width; ++x)
        for (int c = 0; c < 3; ++c) {
          const bool border = IsBorder(image, x, y);
          EXPECT_EQ(image.at(x, y, c), border ? value : interior) << x << "," << y;
          EXPECT_EQ(glow[y * image.stride + 3 * x + c], border ? 0 : value);
        }
  }
}

TEST(GlowFilter, ImagesWithoutInteriorAreUnchanged) {
  for (int32_t width = 0; width <= 4; ++width) {
    for (int32_t height = 0; height <= 4; ++height) {
      if (width > 2 && height > 2) continue;
      const int32_t stride = testbmp::StrideFor(width) + 4;
      Image image{width, height, stride, testbmp::RandomPixels(stride, height, 7)};
      const Bytes before = image.pixels;
      Glow(image);
      EXPECT_EQ(image.pixels, before) << width << "x" << height;
    }
  }
}

TEST(GlowFilter, ThreeByThreeChangesOnlyTheCentre) {
  // Channel c of pixel (x, y) is 10 * (3y + x) + c: each channel sums to
  // 360 + 9c over the image, so the centre (40 + c) gains 40 + c.
  Image image{3, 3, 12, Bytes(36, 0xEE)};
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 3; ++x)
      for (int c = 0; c < 3; ++c) image.at(x, y, c) = static_cast<uint8_t>(10 * (3 * y + x) + c);
  Bytes expected = image.pixels;
  for (int c = 0; c < 3; ++c) expected[12 + 3 + c] = static_cast<uint8_t>(80 + 2 * c);
  Glow(image);
  EXPECT_EQ(image.pixels, expected);
}

TEST(GlowFilter, BrightPixelSpreadsToInteriorNeighboursOnly) {
  Image image = Uniform(6, 6, 0);
  image.at(2, 2, 2) = 255;  // red, one step from the border
  Glow(image);
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 6; ++x) {
      EXPECT_EQ(image.at(x, y, 0), 0);
      EXPECT_EQ(image.at(x, y, 1), 0);
      const bool neighbour = std::abs(x - 2) <= 1 && std::abs(y - 2) <= 1;
      uint8_t expected = 0;
      if (x == 2 && y == 2) expected = 255;
      else if (neighbour && !IsBorder(image, x, y)) expected = 28;
      EXPECT_EQ(image.at(x, y, 2), expected) << x << "," << y;
    }
}

TEST(GlowFilter, SaturatesAtExactly255) {
  // A lone centre value v on black has the mean v / 9: 229 + 25 = 254 stays,
  // 230 + 25 = 255 and 231 + 25 = 256 both give 255.
  for (auto [centre, expected] : {std::pair{229, 254}, {230, 255}, {231, 255}}) {
    Image image = Uniform(3, 3, 0);
    image.at(1, 1, 1) = static_cast<uint8_t>(centre);
    Glow(image);
    EXPECT_EQ(image.at(1, 1, 1), expected) << centre;
  }
}

TEST(GlowFilter, FillBytesAndChannelsStaySeparate) {
  const int32_t width = 7, height = 5, stride = 3 * width + 5;  // odd fill
  Image image{width, height, stride, Bytes(static_cast<size_t>(stride) * height, 0)};
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) image.at(x, y, 0) = static_cast<uint8_t>(40 * x + y);
    for (int32_t i = 3 * width; i < stride; ++i) image.pixels[y * stride + i] = 0xAB;
  }
  Glow(image);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      EXPECT_EQ(image.at(x, y, 1), 0);
      EXPECT_EQ(image.at(x, y, 2), 0);
    }
    for (int32_t i = 3 * width; i < stride; ++i) EXPECT_EQ(image.pixels[y * stride + i], 0xAB);
  }
}

// 4-byte pixels: colour bytes glow as 3-byte pixels do; the kept byte (in
// each place) gets no mean and stays, as does the fill.
TEST(GlowFilter, FourBytePixelsKeepTheirFourthByte) {
  const int32_t width = 5, height = 4, stride = 4 * width + 3;
  for (int32_t kept = 0; kept < 4; ++kept) {
    Bytes pixels(static_cast<size_t>(stride) * height, 0xAB), glow(pixels.size(), 0);
    for (int32_t y = 0; y < height; ++y)
      for (int32_t i = 0; i < 4 * width; ++i) pixels[y * stride + i] = i % 4 == kept ? 77 : 100;
    quorbix::ApplyGlowFilterInFormat(pixels.data(), glow.data(), width, height, stride,
                                     quorbix::FourBytePixels(kept));
    for (size_t p = 0; p < pixels.size(); ++p) {
      const int32_t i = static_cast<int32_t>(p % stride), y = static_cast<int32_t>(p / stride);
      const bool colour = i < 4 * width && i % 4 != kept;
      const bool interior = colour && i >= 4 && i < 4 * (width - 1) && y > 0 && y < height - 1;
      EXPECT_EQ(pixels[p], i >= 4 * width ? 0xAB : !colour ? 77 : interior ? 200 : 100) << p;
      EXPECT_EQ(glow[p], interior ? 100 : 0) << "kept " << kept << " at " << p;
    }
  }
}

}  // namespace
