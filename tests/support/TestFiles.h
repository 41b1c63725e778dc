// Temporary directories, whole-file helpers and BMPGlow calls for tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "QuorbixBMPGlow.h"
#include "support/BmpBuilder.h"
#include "support/Utf16.h"

namespace testfiles {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

// Test paths are UTF-8 strings; the file system gets them as such (on
// Windows, as the UTF-16 names they stand for).
inline fs::path FsPath(const std::string& utf8) {
  return fs::u8path(utf8);
}

// A fresh directory, removed with its contents at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const fs::path candidate = fs::temp_directory_path() / ("qbg-test-" + std::to_string(random()));
      std::error_code error;
      if (fs::create_directory(candidate, error)) path_ = candidate.u8string();
    }
    if (path_.empty()) std::abort();
  }
  ~TempDir() {
    std::error_code error;
    fs::remove_all(FsPath(path_), error);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

  // Names in the directory, or in `path`.
  std::vector<std::string> List() const { return ListOf(path_); }
  static std::vector<std::string> ListOf(const std::string& path) {
    std::vector<std::string> names;
    std::error_code error;  // a missing directory lists as empty
    for (const auto& entry : fs::directory_iterator(FsPath(path), error)) {
      names.push_back(entry.path().filename().u8string());
    }
    return names;
  }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline Bytes ReadBytes(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(FsPath(path), error));
}

inline void MakeDirectory(const std::string& path) {
  ASSERT_TRUE(fs::create_directory(FsPath(path))) << path;
}

struct CallResult {
  int32_t status;
  std::string printed;
};

// BMPGlow's type, for a function looked up in a loaded library.
using GlowFunction = QuorbixBMPGlowFunction;

// Calls `glow` and captures what it printed on standard output.
inline CallResult CallThrough(GlowFunction glow, const char16_t* input, const char16_t* output) {
  testing::internal::CaptureStdout();
  // On Windows the library's paths are wchar_t, UTF-16 as well.
  const int32_t status = glow(reinterpret_cast<const QuorbixBMPGlowPathChar*>(input),
                              reinterpret_cast<const QuorbixBMPGlowPathChar*>(output));
  return {status, testing::internal::GetCapturedStdout()};
}

inline CallResult CallThrough(GlowFunction glow, const std::string& input,
                              const std::string& output) {
  const std::u16string in = Utf16(input), out = Utf16(output);
  return CallThrough(glow, in.c_str(), out.c_str());
}

// The same through the BMPGlow this program links.
inline CallResult Call(const char16_t* input, const char16_t* output) {
  return CallThrough(BMPGlow, input, output);
}
inline CallResult Call(const std::string& input, const std::string& output) {
  return CallThrough(BMPGlow, input, output);
}

constexpr char kSucceeded[] = "Glow effect applied and saved to output.bmp\n";
constexpr char kInputFailed[] = "Failed to open input file.\n";
constexpr char kOutputFailed[] = "Failed to open output file.\n";

// The output holds `input` with its pixel array at `offset` glowed.
inline void ExpectGlowed(const Bytes& input, const std::string& outputPath, uint32_t offset,
                         int32_t width, int32_t height, int bitCount = 24) {
  EXPECT_EQ(ReadBytes(outputPath), testbmp::Glowed(input, offset, width, height, bitCount));
}

// `glow` (BMPGlow as a loaded library exports it) glows a small image as it
// should.
inline void ExpectGlowWorks(GlowFunction glow) {
  ASSERT_NE(glow, nullptr);
  TempDir dir;
  const int32_t width = 7, height = 5;
  const Bytes input =
      testbmp::File(width, height, testbmp::RandomPixels(testbmp::StrideFor(width), height, 4));
  WriteBytes(dir / "in.bmp", input);
  const CallResult result = CallThrough(glow, dir / "in.bmp", dir / "out.bmp");
  EXPECT_EQ(result.status, 999);
  EXPECT_EQ(result.printed, kSucceeded);
  ExpectGlowed(input, dir / "out.bmp", 54, width, height);
}

}  // namespace testfiles
