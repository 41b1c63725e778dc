// Temporary directories, whole-file helpers and BMPGlow calls for tests.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "QuorbixBMPGlow.h"

namespace testfiles {

using Bytes = std::vector<uint8_t>;

// A fresh directory, removed with its contents at the end of the test.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/qbg-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) std::abort();
    path_ = made;
  }
  ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

  // Names in the directory, "." and ".." left out.
  std::vector<std::string> List() const { return ListOf(path_); }
  static std::vector<std::string> ListOf(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
      while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      closedir(dir);
    }
    return names;
  }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
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
  const int32_t status = BMPGlow(input, output);
  return {status, testing::internal::GetCapturedStdout()};
}

inline CallResult Call(const std::string& input, const std::string& output) {
  const std::u16string in = Utf16(input), out = Utf16(output);
  return Call(in.c_str(), out.c_str());
}

constexpr char kSucceeded[] = "Glow effect applied and saved to output.bmp\n";
constexpr char kInputFailed[] = "Failed to open input file.\n";
constexpr char kOutputFailed[] = "Failed to open output file.\n";

}  // namespace testfiles
