// The platform-neutral parts of file access (FileAccess_posix.cpp,
// FileAccess_win32.cpp): reading a stream whole into an image buffer,
// copying input bytes through a small buffer, and the random part of a
// temporary file's name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "FileAccess.h"

namespace quorbix {

// Bytes in one image buffer (ImageBuffer.h) of `capacity` bytes; the
// `capacity - size` bytes after them are zero.
struct FileContents {
  uint8_t* bytes;
  size_t size;
  size_t capacity;
};
void ReleaseFileContents(FileContents* contents);

// A stream (FIFO, pipe, device) with no size to read up to: read to its end
// in chunks into a growing block, reserving `zeroTail` zeroed bytes after the
// contents. Beyond 2 GiB it is refused, so that an endless source cannot
// hold a call forever or exhaust memory.
bool ReadStream(InputFile* input, size_t zeroTail, FileContents* contents);

// Appends `length` bytes of the input from `offset` through a small buffer,
// where the kernel cannot copy them itself. False also when the input ends
// first.
bool CopyThroughBuffer(Replacement* replacement, InputFile* input, uint64_t offset,
                       uint64_t length);

// Ten base-36 digits, spread from `entropy` so that names made from close
// values differ in every position (the splitmix64 finaliser).
constexpr size_t kRandomNameDigits = 10;
void RandomNameDigits(uint64_t entropy, char digits[kRandomNameDigits]);

}  // namespace quorbix
