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

// UTF-8 test strings to the library's UTF-16 paths.
inline std::u16string Utf16(const std::string& utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) code = code << 6 | (utf8[i + k] & 0x3F);
    i += 1 + extra;
    if (code >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
  return out;
}

struct CallResult {
  int32_t status;
  std::string printed;
};

// Calls BMPGlow and captures what it printed on standard output.
inline CallResult Call(const char16_t* input, const char16_t* output) {
  testing::internal::CaptureStdout();
  // On Windows the library's paths are wchar_t, UTF-16 as well.
  const int32_t status = BMPGlow(reinterpret_cast<const QuorbixBMPGlowPathChar*>(input),
                                 reinterpret_cast<const QuorbixBMPGlowPathChar*>(output));
  return {status, testing::internal::GetCapturedStdout()};
}

inline CallResult Call(const std::string& input, const std::string& output) {
  const std::u16string in = Utf16(input), out = Utf16(output);
  return Call(in.c_str(), out.c_str());
}

constexpr char kSucceeded[] = "Glow effect applied and saved to output.bmp\n";
constexpr char kInputFailed[] = "Failed to open input file.\n";
constexpr char kOutputFailed[] = "Failed to open output file.\n";

// The output holds `input` with its pixel array at `offset` glowed.
inline void ExpectGlowed(const Bytes& input, const std::string& outputPath, uint32_t offset,
                         int32_t width, int32_t height, int bitCount = 24, int keptByte = 3) {
  EXPECT_EQ(ReadBytes(outputPath),
            testbmp::Glowed(input, offset, width, height, bitCount, keptByte));
}

}  // namespace testfiles
