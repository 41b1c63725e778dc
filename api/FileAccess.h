// Reading the input and replacing the output file safely.
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

// ---- the input ----

// An open input: a file whose size the system gives (`sized`, read at any
// offset) or a stream (FIFO, pipe, device), read once from its start.
struct InputFile {
#if defined(_WIN32)
  void* handle;  // HANDLE, null when closed
#else
  int fd;  // -1 when closed
#endif
  bool sized;
  uint64_t size;      // when sized
  uint64_t device;    // with `inode`, the file's identity (POSIX, sized)
  uint64_t inode;
};

// Opens `path` for reading without waiting for a FIFO's writer (one without
// a writer then reads as empty). False for a directory or when it cannot be
// opened. Close it with CloseInputFile, which may be called again.
bool OpenInputFile(const NativePathChar* path, InputFile* input);
void CloseInputFile(InputFile* input);

// Reads at `offset` until `size` bytes arrived or the input ended; stores
// the count in `got`. A stream is read where it stands, which must be
// `offset`. False on a read error.
bool ReadInput(InputFile* input, uint64_t offset, uint8_t* into, size_t size, size_t* got);

// ---- the output ----

// One output being written, from BeginReplacement until CommitReplacement
// or AbandonReplacement.
//
// A regular file (or a path that names nothing yet) is replaced atomically:
// the bytes go to a temporary file beside it, private to the caller while it
// is written, which takes the replaced file's owner, group, access control
// list and other extended attributes, then its mode, is flushed to stable
// storage and renamed over it (a new file gets the mode a new file gets,
// 0666 less the umask or as its directory's default ACL says, and is not
// flushed: nothing existing can be lost). Links at the path are followed by
// the kernel, so its protections apply (fs.protected_symlinks in shared
// sticky directories); a dangling link is completed as the kernel's own
// creating open does. A read-only file is refused.
//
// A file that can be written but not replaced by a rename is written in
// place, overwritten from its start and cut to the new length, as the
// operation's "wb" open would: devices and FIFOs, a file whose directory the
// caller may not write, a file mounted on its own (a bind mount), a file
// without a name (an open descriptor of a deleted file). A failed write then
// cannot keep the old contents.
//
// On Windows an existing file is replaced with ReplaceFileW, which keeps its
// security descriptor, attributes and named streams, a new one is moved into
// place with MoveFileExW; long paths take the \\?\ form. A read-only target
// is refused, devices (NUL, CON, pipes) and named streams (out.bmp:s) are
// written in place, and a symbolic link at the path is passed to
// ReplaceFileW as it is.
struct Replacement {
#if defined(_WIN32)
  void* file;           // HANDLE: where the bytes go
  wchar_t* target;      // the full path to replace (malloc), null when written in place
  wchar_t* temporary;   // the temporary file's full path (malloc)
  bool replacesExisting;
  bool cutAtCommit;     // written in place over a disk file
#else
  int fd;               // where the bytes go: the temporary file, or the output itself
  int target;           // the output, open for writing, while a temporary file replaces it
  int directory;        // the output's directory, while a temporary file replaces it
  char targetName[256];
  char temporaryName[256];
  bool replacesExisting;  // flushed and given the replaced file's protection
  bool placeholder;       // the output is the empty file made through a dangling link
  bool cutAtCommit;       // written in place over a regular file
  bool overInput;         // written in place over the open input itself
#endif
};

// Prepares to write `size` bytes as the new contents of the output at
// `path`. `input`, when open, may be the same file. False (and nothing made)
// when the output cannot be written, or when a file-size limit
// (RLIMIT_FSIZE) would stop the write part way.
bool BeginReplacement(const NativePathChar* path, uint64_t size, const InputFile* input,
                      Replacement* replacement);

// Appends bytes, or `length` bytes of the input from `offset` (copied by the
// kernel where it can).
bool WriteReplacement(Replacement* replacement, const uint8_t* data, size_t size);
bool CopyInputToReplacement(Replacement* replacement, InputFile* input, uint64_t offset,
                            uint64_t length);

// Puts the written bytes in place. On failure everything is undone as by
// AbandonReplacement; either way the replacement is finished.
bool CommitReplacement(Replacement* replacement);

// Removes what was made (the temporary file, a placeholder) and releases the
// rest; the error code of the failure that led here is kept.
void AbandonReplacement(Replacement* replacement);

}  // namespace quorbix
