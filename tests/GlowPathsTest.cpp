// Every implementation of the glow filter against the two-pass reference, bit
// for bit, and against the exact divide and saturation of the filter's result.
#include "GlowPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "GlowFilter.h"
#include "support/BmpBuilder.h"

namespace {

using quorbix::GlowPath;
using quorbix::PixelFormat;
using testbmp::Bytes;

constexpr PixelFormat kFourByteFormats[] = {
    quorbix::FourBytePixels(0), quorbix::FourBytePixels(1), quorbix::FourBytePixels(2),
    quorbix::FourBytePixels(3)};

constexpr GlowPath kAllPaths[] = {GlowPath::kPortable, GlowPath::kSse2, GlowPath::kAvx2};
constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardBytes = 64;

const char* Name(GlowPath path) {
  switch (path) {
    case GlowPath::kPortable: return "portable";
    case GlowPath::kSse2: return "sse2";
    case GlowPath::kAvx2: return "avx2";
  }
  return "?";
}

std::vector<GlowPath> AvailablePaths() {
  std::vector<GlowPath> paths;
  for (GlowPath path : kAllPaths) {
    if (quorbix::GlowPathAvailable(path)) paths.push_back(path);
  }
  return paths;
}

// The buffers end exactly (height - 1) * stride + pixelBytes * width bytes
// in, the least the filter may be given, followed by guard bytes that must
// survive.
struct Run {
  Bytes pixels, glow;
};

size_t UsedBytes(int32_t width, int32_t height, int32_t stride, PixelFormat format) {
  return height == 0 ? 0 : static_cast<size_t>(height - 1) * stride + format.pixelBytes * width;
}

Run Filter(GlowPath path, const Bytes& image, int32_t width, int32_t height, int32_t stride,
           PixelFormat format = quorbix::kThreeBytePixels) {
  const size_t used = UsedBytes(width, height, stride, format);
  Run run{Bytes(image.begin(), image.begin() + used), Bytes(used, 0)};
  run.pixels.resize(used + kGuardBytes, kGuard);
  run.glow.resize(used + kGuardBytes, kGuard);
  EXPECT_TRUE(quorbix::ApplyGlowFilterOnPath(path, run.pixels.data(), run.glow.data(), width,
                                             height, stride, format));
  for (size_t i = used; i < used + kGuardBytes; ++i) {
    EXPECT_EQ(run.pixels[i], kGuard) << "pixel written past the end, " << Name(path);
    EXPECT_EQ(run.glow[i], kGuard) << "glow written past the end, " << Name(path);
  }
  run.pixels.resize(used);
  run.glow.resize(used);
  return run;
}

// The two-pass reference result, and the means it leaves in the glow buffer.
Run Reference(const Bytes& image, int32_t width, int32_t height, int32_t stride,
              PixelFormat format) {
  const size_t used = UsedBytes(width, height, stride, format);
  Run run{Bytes(image.begin(), image.begin() + used), Bytes(used, 0)};
  testbmp::ReferenceGlow(run.pixels.data(), run.glow.data(), width, height, stride,
                         format.pixelBytes, format.keptByte);
  return run;
}

void ExpectAllPathsMatchReference(const Bytes& image, int32_t width, int32_t height,
                                  int32_t stride,
                                  PixelFormat format = quorbix::kThreeBytePixels) {
  const Run expected = Reference(image, width, height, stride, format);
  for (GlowPath path : AvailablePaths()) {
    const Run got = Filter(path, image, width, height, stride, format);
    ASSERT_EQ(got.pixels, expected.pixels)
        << Name(path) << " pixels, " << width << "x" << height << " stride " << stride
        << ", " << format.pixelBytes << "-byte pixels kept byte " << format.keptByte;
    ASSERT_EQ(got.glow, expected.glow)
        << Name(path) << " glow, " << width << "x" << height << " stride " << stride
        << ", " << format.pixelBytes << "-byte pixels kept byte " << format.keptByte;
  }
}

TEST(GlowPaths, PortableAndSse2AlwaysExistOnX86_64) {
  EXPECT_TRUE(quorbix::GlowPathAvailable(GlowPath::kPortable));
#if defined(__x86_64__) && !defined(QBG_GLOW_PORTABLE_ONLY)
  EXPECT_TRUE(quorbix::GlowPathAvailable(GlowPath::kSse2));
  EXPECT_NE(quorbix::ChosenGlowPath(), GlowPath::kPortable);
#endif
  EXPECT_TRUE(quorbix::GlowPathAvailable(quorbix::ChosenGlowPath()));
  std::string tested;
  for (GlowPath path : AvailablePaths()) tested += std::string(" ") + Name(path);
  RecordProperty("paths", tested);
}

// Narrow images exercise every split of a row between the vector steps and
// the portable rest; fill of 0, 1 and 5 bytes and 32-bit rows (4 bytes a pixel).
TEST(GlowPaths, MatchReferenceOnEveryNarrowWidth) {
  for (int32_t width = 1; width <= 70; ++width) {
    for (int32_t height = 1; height <= 6; ++height) {
      for (int32_t stride : {3 * width, 3 * width + 1, 3 * width + 5, 4 * width}) {
        const Bytes image = testbmp::RandomPixels(
            stride, height, static_cast<uint32_t>(width * 7919 + height * 31 + stride));
        ExpectAllPathsMatchReference(image, width, height, stride);
      }
    }
  }
}

// The same for 4-byte pixels with the kept byte in each place; a stride of
// 4 * width + 1 starts rows off the 4-byte grid of the buffer.
TEST(GlowPaths, FourBytePixelsMatchReferenceOnEveryNarrowWidth) {
  for (const PixelFormat format : kFourByteFormats) {
    for (int32_t width = 1; width <= 40; ++width) {
      for (int32_t height = 1; height <= 5; ++height) {
        for (int32_t stride : {4 * width, 4 * width + 1, 4 * width + 8}) {
          const Bytes image = testbmp::RandomPixels(
              stride, height, static_cast<uint32_t>(width * 7919 + height * 31 + stride));
          ExpectAllPathsMatchReference(image, width, height, stride, format);
        }
      }
    }
  }
}

TEST(GlowPaths, MatchReferenceOnLargeImages) {
  struct Size {
    int32_t width, height, stride;
  };
  for (const Size& size : {Size{1021, 37, testbmp::StrideFor(1021)}, Size{640, 480, 1920},
                           Size{777, 61, 4 * 777}, Size{2003, 17, 3 * 2003 + 9},
                           Size{11000, 5, 3 * 11000 + 4}, Size{1502, 23, 4 * 1502 + 4},
                           Size{1023, 19, 4 * 1023 + 1}}) {
    const Bytes image = testbmp::RandomPixels(size.stride, size.height,
                                              static_cast<uint32_t>(size.width));
    ExpectAllPathsMatchReference(image, size.width, size.height, size.stride);
    if (size.stride >= 4 * size.width) {
      ExpectAllPathsMatchReference(image, size.width, size.height, size.stride,
                                   kFourByteFormats[size.width % 4]);
    }
  }
}

TEST(GlowPaths, ExtremeImagesMatchReference) {
  // All black, all white and alternating 0/255 bytes hit the smallest and
  // largest sums and the saturation on every lane.
  const int32_t width = 83, height = 5, stride = testbmp::StrideFor(width);
  for (int pattern = 0; pattern < 3; ++pattern) {
    Bytes image(static_cast<size_t>(stride) * height);
    for (size_t i = 0; i < image.size(); ++i) {
      image[i] = pattern == 0 ? 0 : pattern == 1 ? 255 : ((i / 3 + i / stride) % 2) * 255;
    }
    ExpectAllPathsMatchReference(image, width, height, stride);
    for (const PixelFormat format : kFourByteFormats) {
      ExpectAllPathsMatchReference(image, width / 2, height, stride, format);
    }
  }
}

// An image of height 3 made of side-by-side 3x3 blocks whose centres have no
// neighbour in another block, so each centre's three channel sums and values
// are set freely: block k holds the channel targets 3k, 3k + 1 and 3k + 2.
struct Target {
  int value;  // the centre channel before the filter
  int sum;    // its 3x3 sum, centre included (value <= sum <= value + 8 * 255)
};

Bytes BlockImage(const std::vector<Target>& targets, int32_t* width) {
  const int32_t blocks = static_cast<int32_t>((targets.size() + 2) / 3);
  *width = 3 * blocks;
  const int32_t stride = 3 * *width;
  Bytes image(static_cast<size_t>(stride) * 3, 0);
  for (size_t t = 0; t < targets.size(); ++t) {
    const int32_t block = static_cast<int32_t>(t / 3), channel = static_cast<int32_t>(t % 3);
    int rest = targets[t].sum - targets[t].value;  // spread over the 8 neighbours
    for (int32_t y = 0; y < 3; ++y) {
      for (int32_t x = 0; x < 3; ++x) {
        uint8_t& byte = image[y * stride + 3 * (3 * block + x) + channel];
        if (x == 1 && y == 1) {
          byte = static_cast<uint8_t>(targets[t].value);
        } else {
          byte = static_cast<uint8_t>(std::min(rest, 255));
          rest -= byte;
        }
      }
    }
  }
  return image;
}

void ExpectCentresMatchReference(const std::vector<Target>& targets) {
  int32_t width = 0;
  const Bytes image = BlockImage(targets, &width);
  ExpectAllPathsMatchReference(image, width, 3, 3 * width);
}

TEST(GlowPaths, EveryBoxSumDividesExactly) {
  std::vector<Target> targets;
  for (int sum = 0; sum <= 9 * 255; ++sum) targets.push_back({std::max(0, sum - 8 * 255), sum});
  ExpectCentresMatchReference(targets);
}

TEST(GlowPaths, EveryTotalSaturatesAsTheFloatMinimum) {
  // Each total 0..510 of a value and a mean, split as evenly as a byte allows.
  std::vector<Target> targets;
  for (int total = 0; total <= 2 * 255; ++total) {
    const int mean = total / 2, value = total - mean;
    targets.push_back({value, std::max(9 * mean, value)});
  }
  ExpectCentresMatchReference(targets);
}

TEST(GlowPaths, OnlyAvailablePathsRun) {
  // A value outside the enumeration is never available, so the refusal is
  // checked on every machine, also on one that has every path.
  for (GlowPath path : {GlowPath::kPortable, GlowPath::kSse2, GlowPath::kAvx2,
                        static_cast<GlowPath>(99)}) {
    const bool available = quorbix::GlowPathAvailable(path);
    Bytes pixels(27, 200), glow(27, 0);
    EXPECT_EQ(quorbix::ApplyGlowFilterOnPath(path, pixels.data(), glow.data(), 3, 3, 9), available);
    Bytes expected(27, 200);
    if (available) std::fill(expected.begin() + 12, expected.begin() + 15, 255);  // the centre
    EXPECT_EQ(pixels, expected) << Name(path);
  }
}

}  // namespace
