// Reading the input file whole and replacing the output file safely.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorbix {

// The platform's form of a path: UTF-8 bytes on POSIX systems, UTF-16 on
// Windows, where files are opened by their wide names.
#if defined(_WIN32)
using NativePathChar = wchar_t;
#else
using NativePathChar = char;
#endif

// A whole input file in one image buffer (ImageBuffer.h) of `capacity`
// bytes; the `capacity - size` bytes after the file's contents are zero.
struct FileContents {
  uint8_t* bytes;
  size_t size;
  size_t capacity;
};

// Reads the file at `path` whole, reserving `zeroTail` zeroed bytes after its
// contents. Returns false (and holds nothing) when the file cannot be opened
// or read, is a directory, or the buffer cannot be allocated. The file is
// closed before returning. Release the contents with ReleaseFileContents.
bool ReadWholeFile(const NativePathChar* path, size_t zeroTail, FileContents* contents);
void ReleaseFileContents(FileContents* contents);

// Writes `size` bytes as the whole new contents of the file at `path`.
//
// A regular file (or a path that names nothing yet) is replaced atomically:
// the bytes go to a temporary file in the same directory, which takes the
// mode of the file it replaces (a new file gets 0666 less the umask) and is
// renamed over the target only after every write and the close succeeded.
// A symbolic link at `path` is followed: the link stays, its target is
// replaced. An existing non-regular file (a device, a FIFO) is written
// directly. Returns false on any failure, and then leaves no temporary file
// and the previous contents of the target untouched.
//
// On Windows the rename is MoveFileExW's replace-existing rename; a read-only
// target is refused, there are no modes to carry over, and a symbolic link at
// `path` is replaced rather than followed. Devices (NUL, CON, pipes) are
// written directly.
bool ReplaceFileContents(const NativePathChar* path, const uint8_t* data, size_t size);

}  // namespace quorbix
