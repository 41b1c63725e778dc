// Fuzz target: the fuzzer's bytes become a BMP file, which BMPGlow glows into
// a regular file, into the input itself or into /dev/null (chosen by a hash
// of the bytes, so that a saved input replays the same way).
//
// Beyond what the sanitizers catch, every call is held to what the library
// promises, and any breach aborts (a finding):
//  - the status is 999 exactly when the file passes the refusal rules
//    (restated here from the README, independently of the library's code);
//  - exactly one status line is printed, the one that matches the status;
//  - a glowed output is the input with its pixel array replaced by the
//    reference glow (tests/support/ReferenceGlow.h), missing fill as zeros;
//  - after a failure the previous output (or the input) is byte for byte
//    what it was, and no temporary file is left beside it.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <vector>

#include "QuorbixBMPGlow.h"
#include "support/BmpBuilder.h"
#include "support/Utf16.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Workspace {
  std::string directory;  // holds in.bmp and out.bmp, nothing else
  std::string input;
  std::string output;
  int capturedStdout;     // a memory file standing in for standard output
};
Workspace workspace;

using testfiles::Utf16;

[[noreturn]] void Finding(const char* what) {
  std::fprintf(stderr, "bmpglow_fuzzer: %s\n", what);
  std::abort();
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) Finding("cannot write the input file");
  for (size_t done = 0; done < size;) {
    const ssize_t put = write(fd, data + done, size - done);
    if (put <= 0) Finding("cannot write the input file");
    done += static_cast<size_t>(put);
  }
  close(fd);
}

Bytes ReadFile(const std::string& path) {
  Bytes bytes;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bytes;
  uint8_t chunk[65536];
  ssize_t got;
  while ((got = read(fd, chunk, sizeof chunk)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  close(fd);
  return bytes;
}

void RemoveWorkspace() {
  unlink(workspace.input.c_str());
  unlink(workspace.output.c_str());
  rmdir(workspace.directory.c_str());
}

uint32_t Load32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Which byte of a 32-bit pixel is kept, or -1 when the file must be refused:
// byte 3, unless biCompression is 3 or 6; then the red, green and blue
// masks at offset 54 must be three different bytes of the pixel, each mask
// 0xFF shifted by whole bytes, and the kept byte is the fourth.
int KeptByteOf32Bit(const uint8_t* data, size_t size) {
  const uint32_t compression = Load32(data + 30);
  if (compression != 3 && compression != 6) return 3;
  if (size < 66) return -1;
  bool named[4] = {false, false, false, false};
  for (size_t at = 54; at < 66; at += 4) {
    const uint32_t mask = Load32(data + at);
    int byte = -1;
    for (int k = 0; k < 4; ++k) {
      if (mask == uint32_t{0xFF} << (8 * k)) byte = k;
    }
    if (byte < 0 || named[byte]) return -1;
    named[byte] = true;
  }
  for (int byte = 0; byte < 4; ++byte) {
    if (!named[byte]) return byte;
  }
  return -1;
}

// What BMPGlow must make of `file`: false when it must be refused, otherwise
// the output bytes. The rules, in 64-bit arithmetic: at least 54 bytes;
// 24 or 32 bits per pixel, and for 32 bits with colour masks, masks as
// above; no dimension INT32_MIN; |width| * bits + 31 and stride * |height|
// within INT32_MAX; and for a non-empty image, every pixel byte in the file
// except the last row's fill.
bool ExpectedOutput(const uint8_t* data, size_t size, Bytes* output) {
  if (size < 54) return false;
  const int64_t widthField = static_cast<int32_t>(Load32(data + 18));
  const int64_t heightField = static_cast<int32_t>(Load32(data + 22));
  const int64_t bits = data[28] | data[29] << 8;
  const int64_t offset = Load32(data + 10);
  if (bits != 24 && bits != 32) return false;
  const int keptByte = bits == 32 ? KeptByteOf32Bit(data, size) : -1;
  if (bits == 32 && keptByte < 0) return false;
  if (widthField == INT32_MIN || heightField == INT32_MIN) return false;
  const int64_t width = widthField < 0 ? -widthField : widthField;
  const int64_t height = heightField < 0 ? -heightField : heightField;
  if (width * bits + 31 > INT32_MAX) return false;
  const int64_t stride = (width * bits + 31) / 32 * 4;
  if (stride * height > INT32_MAX) return false;
  if (width != 0 && height != 0 &&
      offset + (height - 1) * stride + width * bits / 8 > static_cast<int64_t>(size)) {
    return false;
  }
  *output = testbmp::Glowed(Bytes(data, data + size), static_cast<uint32_t>(offset),
                            static_cast<int32_t>(width), static_cast<int32_t>(height),
                            static_cast<int>(bits), keptByte);
  return true;
}

std::string TakeCapturedStdout() {
  std::string text(256, '\0');
  const ssize_t got = pread(workspace.capturedStdout, &text[0], text.size(), 0);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  if (ftruncate(workspace.capturedStdout, 0) != 0 || lseek(workspace.capturedStdout, 0, SEEK_SET) != 0) {
    Finding("cannot reset the captured standard output");
  }
  return text;
}

bool WorkspaceHoldsOnly(size_t expectedEntries) {
  size_t entries = 0;
  DIR* dir = opendir(workspace.directory.c_str());
  if (dir == nullptr) return false;
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) ++entries;
  }
  closedir(dir);
  return entries == expectedEntries;
}

enum class Target { kRegularFile, kInputItself, kDevNull };

Target ChooseTarget(const uint8_t* data, size_t size) {
  uint32_t hash = 2166136261u;  // FNV-1a
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  return static_cast<Target>(hash % 3);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/qbg-fuzz-XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) Finding("cannot create a working directory");
  workspace.directory = pattern;
  workspace.input = pattern + "/in.bmp";
  workspace.output = pattern + "/out.bmp";
  // The library prints a line per call; it goes to a memory file, read back
  // and checked after every call.
  std::fflush(stdout);
  workspace.capturedStdout = memfd_create("bmpglow-stdout", MFD_CLOEXEC);
  if (workspace.capturedStdout < 0 || dup2(workspace.capturedStdout, STDOUT_FILENO) < 0) {
    Finding("cannot capture standard output");
  }
  workspace.capturedStdout = STDOUT_FILENO;
  std::atexit(RemoveWorkspace);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Bytes kPrevious = {'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'};
  const Target target = ChooseTarget(data, size);
  unlink(workspace.output.c_str());
  WriteFile(workspace.input, data, size);
  if (target == Target::kRegularFile) WriteFile(workspace.output, kPrevious.data(), kPrevious.size());

  const std::u16string input = Utf16(workspace.input);
  const std::u16string output = target == Target::kRegularFile  ? Utf16(workspace.output)
                                : target == Target::kInputItself ? input
                                                                 : Utf16("/dev/null");
  const int32_t status = BMPGlow(input.c_str(), output.c_str());
  const std::string printed = TakeCapturedStdout();

  Bytes expected;
  const bool accepted = ExpectedOutput(data, size, &expected);
  if (status != 999 && status != 1) Finding("status is neither 999 nor 1");
  if (accepted != (status == 999)) Finding(accepted ? "a valid file was refused" : "a bad file was accepted");
  const char* line = accepted ? "Glow effect applied and saved to output.bmp\n" : "Failed to open input file.\n";
  if (printed != line) Finding("the status line is wrong or not alone");

  const Bytes original(data, data + size);
  switch (target) {
    case Target::kRegularFile:
      if (ReadFile(workspace.output) != (accepted ? expected : kPrevious)) Finding("wrong output file");
      if (ReadFile(workspace.input) != original) Finding("the input changed");
      break;
    case Target::kInputItself:
      if (ReadFile(workspace.input) != (accepted ? expected : original)) Finding("wrong rewritten input");
      break;
    case Target::kDevNull:
      if (ReadFile(workspace.input) != original) Finding("the input changed");
      break;
  }
  if (!WorkspaceHoldsOnly(target == Target::kRegularFile ? 2 : 1)) Finding("a stray file was left");
  return 0;
}
