// The platform-neutral parts of file access (FileAccess_posix.cpp,
// FileAccess_win32.cpp): reading a file or a stream whole into an image
// buffer, and the random part of a temporary file's name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "FileAccess.h"

namespace quorbix {

// Reads from `source` into `into` until `size` bytes arrived or the input
// ended; stores the count in `got`. False on a read error.
using ReadFunction = bool (*)(void* source, uint8_t* into, size_t size, size_t* got);

// A file whose size the system gives: one read of that size. A file that
// shrank since yields what it holds now.
bool ReadSizedFile(ReadFunction read, void* source, uint64_t size, size_t zeroTail,
                   FileContents* contents);

// A stream (FIFO, pipe, device) with no size to read up to: read in chunks
// into a growing block. Beyond 2 GiB it is refused, so that an endless
// source cannot hold a call forever or exhaust memory.
bool ReadStream(ReadFunction read, void* source, size_t zeroTail, FileContents* contents);

// Ten base-36 digits, spread from `entropy` so that names made from close
// values differ in every position (the splitmix64 finaliser).
constexpr size_t kRandomNameDigits = 10;
void RandomNameDigits(uint64_t entropy, char digits[kRandomNameDigits]);

}  // namespace quorbix
