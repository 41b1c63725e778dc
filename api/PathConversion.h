// Checks of the caller's UTF-16 paths, and their conversion to the system's
// narrow encoding of file names (UTF-8) where files are named in bytes.
#pragma once

#include <cstddef>

namespace quorbix {

// Number of UTF-16 units before the terminator.
size_t Utf16Length(const char16_t* text);

// Whether `path` can name a file: not null, not empty, and every surrogate
// paired.
bool IsWellFormedPath(const char16_t* path);

// Bytes of scratch that hold the UTF-8 form of any valid UTF-16 string of
// `units` units, terminator included: a unit takes at most 3 bytes (a
// surrogate pair, 2 units, takes 4).
constexpr size_t NarrowPathScratchSize(size_t units) { return (units + 1) * 3; }

// Converts `path` to UTF-8 in `scratch` (NarrowPathScratchSize(length)
// bytes). Returns false, leaving scratch an empty string, for a path that
// names no file: null, empty, or holding an unpaired surrogate.
bool ConvertPathToNarrow(const char16_t* path, char* scratch, size_t scratchSize);

}  // namespace quorbix
