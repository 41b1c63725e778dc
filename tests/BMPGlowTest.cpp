// BMPGlow through the built shared library, on files in a temporary directory:
// what holds on every platform.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "support/BmpBuilder.h"
#include "support/TestFiles.h"

namespace {

using testbmp::Bytes;
using testbmp::File;
using testbmp::RandomPixels;
using testbmp::StrideFor;
using namespace testfiles;

TEST(BMPGlow, GlowsPackedAndPaddedRows) {
  TempDir dir;
  for (int32_t width : {4, 5, 1, 2, 3, 17}) {
    const int32_t height = 6;
    const Bytes input = File(width, height, RandomPixels(StrideFor(width), height, width));
    WriteBytes(dir / "in.bmp", input);
    const CallResult result = Call(dir / "in.bmp", dir / "out.bmp");
    EXPECT_EQ(result.status, 999);
    EXPECT_EQ(result.printed, kSucceeded);
    ExpectGlowed(input, dir / "out.bmp", 54, width, height);
    EXPECT_EQ(ReadBytes(dir / "out.bmp").size(), input.size());
  }
}

TEST(BMPGlow, TopDownImageIsTheBottomUpImageReversed) {
  TempDir dir;
  const int32_t width = 9, height = 7, stride = StrideFor(width);
  const Bytes pixels = RandomPixels(stride, height, 3);
  Bytes reversed;
  for (int32_t y = height - 1; y >= 0; --y)
    reversed.insert(reversed.end(), pixels.begin() + y * stride, pixels.begin() + (y + 1) * stride);
  WriteBytes(dir / "up.bmp", File(width, height, pixels));
  WriteBytes(dir / "down.bmp", File(width, -height, reversed));
  ASSERT_EQ(Call(dir / "up.bmp", dir / "up-out.bmp").status, 999);
  ASSERT_EQ(Call(dir / "down.bmp", dir / "down-out.bmp").status, 999);
  const Bytes up = ReadBytes(dir / "up-out.bmp"), down = ReadBytes(dir / "down-out.bmp");
  ASSERT_EQ(up.size(), down.size());
  const Bytes downInput = ReadBytes(dir / "down.bmp");
  EXPECT_TRUE(std::equal(down.begin(), down.begin() + 54, downInput.begin()));  // height stays negative
  for (int32_t y = 0; y < height; ++y)
    EXPECT_TRUE(std::equal(up.begin() + 54 + y * stride, up.begin() + 54 + (y + 1) * stride,
                           down.begin() + 54 + (height - 1 - y) * stride))
        << "row " << y;
}

TEST(BMPGlow, KeepsEverythingAroundThePixels) {
  // A colour table or masks between the headers and the pixels, and a
  // profile after them, reach the output unchanged.
  TempDir dir;
  Bytes gap(84), trailing(301);
  for (size_t i = 0; i < gap.size(); ++i) gap[i] = static_cast<uint8_t>(0xC0 + i);
  for (size_t i = 0; i < trailing.size(); ++i) trailing[i] = static_cast<uint8_t>(i * 7);
  for (int bitCount : {24, 32}) {
    const int32_t width = 6, height = 5;
    const Bytes input =
        File(width, height, RandomPixels(StrideFor(width, bitCount), height, 9),
             static_cast<uint16_t>(bitCount), gap, trailing);
    WriteBytes(dir / "in.bmp", input);
    ASSERT_EQ(Call(dir / "in.bmp", dir / "out.bmp").status, 999);
    ExpectGlowed(input, dir / "out.bmp", 54 + 84, width, height, bitCount);
  }
}

TEST(BMPGlow, PixelOffsetInsideTheHeaders) {
  // The pixels start inside the headers; the headers' own values still
  // decide the layout, and the output holds the filtered bytes from there.
  TempDir dir;
  const int32_t width = 3, height = 3;
  Bytes input = testbmp::Headers(width, height, 24, 20);
  const Bytes tail = RandomPixels(12, 3, 5);
  input.insert(input.end(), tail.begin(), tail.end());
  WriteBytes(dir / "in.bmp", input);
  ASSERT_EQ(Call(dir / "in.bmp", dir / "out.bmp").status, 999);
  ExpectGlowed(input, dir / "out.bmp", 20, width, height);
}

TEST(BMPGlow, MissingLastRowFillIsWrittenAsZeros) {
  TempDir dir;
  const int32_t width = 5, height = 4;  // stride 16, 1 fill byte per row
  Bytes input = File(width, height, RandomPixels(16, height, 2));
  input.pop_back();
  WriteBytes(dir / "in.bmp", input);
  ASSERT_EQ(Call(dir / "in.bmp", dir / "out.bmp").status, 999);
  const Bytes output = ReadBytes(dir / "out.bmp");
  ASSERT_EQ(output.size(), input.size() + 1);
  EXPECT_EQ(output.back(), 0);
  ExpectGlowed(input, dir / "out.bmp", 54, width, height);
}

// Files of a few megabytes take the huge-page buffers: the same result, the
// bytes after the pixels kept, and a missing last-row fill still zeroed.
TEST(BMPGlow, ImagesOfSeveralMegabytes) {
  TempDir dir;
  const int32_t width = 1601, height = 1003;  // 4804-byte rows with 1 fill byte
  const Bytes profile = RandomPixels(300, 1, 8);
  for (bool dropFill : {false, true}) {
    Bytes input = File(width, -height, RandomPixels(StrideFor(width), height, 6), 24, {},
                       dropFill ? Bytes{} : profile);
    if (dropFill) input.pop_back();
    WriteBytes(dir / "in.bmp", input);
    ASSERT_EQ(Call(dir / "in.bmp", dir / "out.bmp").status, 999);
    ExpectGlowed(input, dir / "out.bmp", 54, width, height);
  }
}

TEST(BMPGlow, EmptyPixelArrayLeavesTheFileAsItIs) {
  TempDir dir;
  for (auto [width, height] : {std::pair{0, 10}, {10, 0}, {0, 0}}) {
    Bytes input = testbmp::Headers(width, height, 24, 4000000000u);  // far offset
    WriteBytes(dir / "in.bmp", input);
    ASSERT_EQ(Call(dir / "in.bmp", dir / "out.bmp").status, 999);
    EXPECT_EQ(ReadBytes(dir / "out.bmp"), input);
  }
}

TEST(BMPGlow, SamePathRewritesInPlace) {
  TempDir dir;
  const Bytes input = File(8, 8, RandomPixels(24, 8, 4));
  WriteBytes(dir / "img.bmp", input);
  EXPECT_EQ(Call(dir / "img.bmp", dir / "img.bmp").status, 999);
  ExpectGlowed(input, dir / "img.bmp", 54, 8, 8);
  EXPECT_EQ(dir.List(), std::vector<std::string>{"img.bmp"});
}

// Each hostile header is refused before any output is touched.
struct Refusal {
  const char* name;
  Bytes file;
};

std::vector<Refusal> Refusals() {
  std::vector<Refusal> cases;
  const Bytes good = File(4, 4, RandomPixels(12, 4, 1));
  cases.push_back({"empty file", {}});
  cases.push_back({"53 header bytes", Bytes(good.begin(), good.begin() + 53)});
  cases.push_back({"width INT32_MIN", File(INT32_MIN, 1, Bytes(64))});
  cases.push_back({"height INT32_MIN", File(1, INT32_MIN, Bytes(64))});
  // 89478485 * 24 + 31 = 2147483671 > INT32_MAX
  cases.push_back({"row size overflow", File(89478485, 1, Bytes(64))});
  cases.push_back({"row size overflow, 65535 bits", File(40000, 1, Bytes(64), 65535)});
  cases.push_back({"pixel size overflow", File(1000, 1000000, Bytes(64))});
  cases.push_back({"negative pixel size overflow", File(-1000, -1000000, Bytes(64))});
  cases.push_back({"16 bits per pixel", File(4, 4, Bytes(32), 16)});
  cases.push_back({"8 bits per pixel", File(4, 4, Bytes(16), 8)});
  cases.push_back({"0 bits per pixel", File(4, 4, Bytes(16), 0)});
  // Newly refused: wide pixels, and other depths even without pixels (the
  // 32-bit mask rules are the layout tests' and the seed corpus's).
  cases.push_back({"64 bits per pixel", File(4, 4, Bytes(128), 64)});
  cases.push_back({"16 bits, no pixels", File(0, 4, {}, 16)});
  cases.push_back({"last pixel byte missing", Bytes(good.begin(), good.end() - 1)});
  cases.push_back({"huge image in a tiny file", File(30000, 20000, Bytes(64))});
  Bytes farOffset = good;
  testbmp::Put32(farOffset, 10, 0xFFFFFFF0u);
  cases.push_back({"offset past the end", farOffset});
  return cases;
}

TEST(BMPGlow, RefusesUnsafeInputsAndKeepsThePreviousOutput) {
  TempDir dir;
  const Bytes previous = {'k', 'e', 'e', 'p'};
  for (const Refusal& refusal : Refusals()) {
    WriteBytes(dir / "in.bmp", refusal.file);
    WriteBytes(dir / "out.bmp", previous);
    const CallResult result = Call(dir / "in.bmp", dir / "out.bmp");
    EXPECT_EQ(result.status, 1) << refusal.name;
    EXPECT_EQ(result.printed, kInputFailed) << refusal.name;
    EXPECT_EQ(ReadBytes(dir / "out.bmp"), previous) << refusal.name;
    EXPECT_EQ(dir.List().size(), 2u) << refusal.name;
  }
}

TEST(BMPGlow, UnusableInputPaths) {
  TempDir dir;
  MakeDirectory(dir / "a-directory");
  const std::u16string loneSurrogate = Utf16(dir / "x") + u'\xD800';
  const std::u16string output = Utf16(dir / "out.bmp");
  for (const std::u16string& input :
       {Utf16(dir / "missing.bmp"), Utf16(dir / "a-directory"), std::u16string(), loneSurrogate}) {
    const CallResult result = Call(input.c_str(), output.c_str());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.printed, kInputFailed);
  }
  const CallResult nullInput = Call(nullptr, output.c_str());
  EXPECT_EQ(nullInput.status, 1);
  EXPECT_EQ(nullInput.printed, kInputFailed);
  EXPECT_FALSE(Exists(dir / "out.bmp"));
}

TEST(BMPGlow, UnusableOutputPathsCreateNothing) {
  TempDir dir;
  WriteBytes(dir / "in.bmp", File(4, 4, RandomPixels(12, 4, 1)));
  MakeDirectory(dir / "sub");
  for (const std::string& output : {dir / "no-such-dir/out.bmp", dir / "sub", std::string()}) {
    const CallResult result = Call(dir / "in.bmp", output);
    EXPECT_EQ(result.status, 1) << output;
    EXPECT_EQ(result.printed, kOutputFailed) << output;
  }
  const std::u16string input = Utf16(dir / "in.bmp");
  const CallResult nullOutput = Call(input.c_str(), nullptr);
  EXPECT_EQ(nullOutput.status, 1);
  EXPECT_EQ(nullOutput.printed, kOutputFailed);
  const std::u16string loneSurrogate = Utf16(dir / "out") + u'\xDC00';
  const CallResult malformed = Call(input.c_str(), loneSurrogate.c_str());
  EXPECT_EQ(malformed.status, 1);
  EXPECT_EQ(malformed.printed, kOutputFailed);
  EXPECT_EQ(dir.List().size(), 2u);  // in.bmp and sub
}

TEST(BMPGlow, NamesBeyondAscii) {
  TempDir dir;
  const Bytes input = File(4, 3, RandomPixels(12, 3, 6));
  for (const std::string name :
       {"café-crème.bmp", "光る画像.bmp", "glow-\xF0\x9F\x8C\x9F.bmp", "Ωμέγα-ελληνικά.bmp"}) {
    WriteBytes(dir / name, input);
    const std::string output = dir / ("out-" + name);
    EXPECT_EQ(Call(dir / name, output).status, 999) << name;
    ExpectGlowed(input, output, 54, 4, 3);
  }
}

}  // namespace
