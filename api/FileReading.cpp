#include "FileReading.h"

#include <cstring>

#include "ImageBuffer.h"

namespace quorbix {
namespace {

constexpr size_t kMaxStreamBytes = size_t{1} << 31;
constexpr size_t kStreamChunk = size_t{1} << 16;
constexpr size_t kCopyBuffer = size_t{1} << 14;  // on the stack of the caller's thread

}  // namespace

bool ReadStream(InputFile* input, size_t zeroTail, FileContents* contents) {
  size_t capacity = kStreamChunk + zeroTail;
  uint8_t* bytes = AllocateImageBuffer(capacity, BlockUse::kFilledLater);
  size_t size = 0;
  while (bytes != nullptr) {
    if (capacity - zeroTail == size) {
      if (size >= kMaxStreamBytes) break;
      const size_t grown = size * 2 + zeroTail;
      uint8_t* larger = AllocateImageBuffer(grown, BlockUse::kFilledLater);
      if (larger != nullptr) std::memcpy(larger, bytes, size);
      ReleaseImageBuffer(bytes, capacity);
      bytes = larger;
      capacity = grown;
      continue;
    }
    size_t got = 0;
    if (!ReadInput(input, size, bytes + size, capacity - zeroTail - size, &got)) break;
    size += got;
    if (size < capacity - zeroTail) {  // the read stopped short: end of stream
      std::memset(bytes + size, 0, capacity - size);
      *contents = FileContents{bytes, size, capacity};
      return true;
    }
  }
  ReleaseImageBuffer(bytes, capacity);
  return false;
}

void ReleaseFileContents(FileContents* contents) {
  ReleaseImageBuffer(contents->bytes, contents->capacity);
  *contents = FileContents{nullptr, 0, 0};
}

bool CopyThroughBuffer(Replacement* replacement, InputFile* input, uint64_t offset,
                       uint64_t length) {
  uint8_t buffer[kCopyBuffer];
  while (length > 0) {
    const size_t want = length < kCopyBuffer ? static_cast<size_t>(length) : kCopyBuffer;
    size_t got = 0;
    if (!ReadInput(input, offset, buffer, want, &got) || got == 0) return false;
    if (!WriteReplacement(replacement, buffer, got)) return false;
    offset += got;
    length -= got;
  }
  return true;
}

void RandomNameDigits(uint64_t entropy, char digits[kRandomNameDigits]) {
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  uint64_t x = entropy + 0x9E3779B97F4A7C15u;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  x ^= x >> 31;
  for (size_t i = 0; i < kRandomNameDigits; ++i, x /= 36) digits[i] = kDigits[x % 36];
}

}  // namespace quorbix
