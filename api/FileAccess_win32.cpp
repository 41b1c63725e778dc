// Windows file access: files opened by their UTF-16 names through the wide
// file API; inputs read at offsets or as streams, outputs replaced through a
// temporary file (ReplaceFileW, MoveFileExW) or written in place.
#include "FileAccess.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "FileReading.h"

namespace quorbix {
namespace {

// ReadFile and WriteFile take 32-bit counts.
constexpr size_t kMaxTransfer = size_t{1} << 30;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The temporary file's name keeps at most this much of the output's name.
constexpr size_t kKeptNameUnits = 120;

bool WriteFully(HANDLE file, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const DWORD want = static_cast<DWORD>(size - done < kMaxTransfer ? size - done : kMaxTransfer);
    DWORD written = 0;
    if (!WriteFile(file, data + done, want, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

uint64_t NextEntropy() {
  static std::atomic<uint64_t> counter{0};
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return counter.fetch_add(1, std::memory_order_relaxed) ^ static_cast<uint64_t>(now.QuadPart) ^
         static_cast<uint64_t>(GetCurrentProcessId()) << 32 ^
         static_cast<uint64_t>(GetCurrentThreadId()) << 16;
}

// What the output path names now.
enum class TargetKind { kMissing, kDiskFile, kReadOnlyFile, kDirectory, kDevice, kUnknown };

TargetKind InspectTarget(const wchar_t* path) {
  // No access rights are asked for: the file is only looked at, and neither
  // sharing modes nor a read-only attribute stand in the way.
  const HANDLE file = CreateFileW(path, 0, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? TargetKind::kMissing : TargetKind::kUnknown;
  }
  TargetKind kind = TargetKind::kDevice;
  if (GetFileType(file) == FILE_TYPE_DISK) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) {
      kind = TargetKind::kUnknown;
    } else {
      const DWORD attributes = info.dwFileAttributes;
      kind = attributes & FILE_ATTRIBUTE_DIRECTORY  ? TargetKind::kDirectory
             : attributes & FILE_ATTRIBUTE_READONLY ? TargetKind::kReadOnlyFile
                                                    : TargetKind::kDiskFile;
    }
  }
  CloseHandle(file);
  return kind;
}

// Where the last component of `path` starts ("C:name" counts from the name).
const wchar_t* LastComponent(const wchar_t* path) {
  const wchar_t* last = path;
  for (const wchar_t* at = path; *at != L'\0'; ++at) {
    if (*at == L'\\' || *at == L'/') last = at + 1;
  }
  if (last == path && path[0] != L'\0' && path[1] == L':') last = path + 2;
  return last;
}

// Whether `path` names a stream of a file ("out.bmp:s"): a rename cannot
// replace one, so it is written in place.
bool NamesStream(const wchar_t* path) { return std::wcschr(LastComponent(path), L':') != nullptr; }

// The full path of `path` in the \\?\ form, which lifts MAX_PATH for the
// temporary file's longer name ("\\server\share\x" becomes
// "\\?\UNC\server\share\x"; a path in that form already stays). Null on
// failure; free() it.
wchar_t* LongFullPath(const wchar_t* path) {
  constexpr size_t kRoom = 8;  // the longest prefix, "\\?\UNC\"
  const DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
  if (needed == 0) return nullptr;
  wchar_t* const full = static_cast<wchar_t*>(std::malloc((kRoom + needed) * sizeof(wchar_t)));
  if (full == nullptr) return nullptr;
  wchar_t* const text = full + kRoom;
  const DWORD length = GetFullPathNameW(path, needed, text, nullptr);
  if (length == 0 || length >= needed) {
    std::free(full);
    return nullptr;
  }
  const wchar_t* prefix = L"\\\\?\\";
  const wchar_t* rest = text;
  if (text[0] == L'\\' && text[1] == L'\\') {
    if (text[2] == L'?' || text[2] == L'.') {
      prefix = L"";
    } else {
      prefix = L"\\\\?\\UNC\\";
      rest = text + 2;
    }
  }
  const size_t prefixLength = std::wcslen(prefix);
  std::memmove(full + prefixLength, rest, (std::wcslen(rest) + 1) * sizeof(wchar_t));
  std::memcpy(full, prefix, prefixLength * sizeof(wchar_t));
  return full;
}

// Creates a new, empty temporary file beside `target` (a full path):
// ".<name>.<random>.tmp" in the same folder, so that the final rename stays
// within one volume. The name keeps at most kKeptNameUnits of the output's,
// never cut between the two halves of a surrogate pair. Opened without
// sharing: no other program can open it while it is written.
bool CreateTemporaryBeside(const wchar_t* target, Replacement* replacement) {
  const wchar_t* const name = LastComponent(target);
  const size_t folderLength = static_cast<size_t>(name - target);
  size_t kept = std::wcslen(name) < kKeptNameUnits ? std::wcslen(name) : kKeptNameUnits;
  if (kept > 0 && name[kept - 1] >= 0xD800 && name[kept - 1] <= 0xDBFF) --kept;
  const size_t length = folderLength + 1 + kept + 1 + kRandomNameDigits + 4;
  wchar_t* const temporary = static_cast<wchar_t*>(std::malloc((length + 1) * sizeof(wchar_t)));
  if (temporary == nullptr) return false;
  replacement->temporary = temporary;
  wchar_t* at = temporary;
  std::memcpy(at, target, folderLength * sizeof(wchar_t));
  at += folderLength;
  *at++ = L'.';
  std::memcpy(at, name, kept * sizeof(wchar_t));
  at += kept;
  *at++ = L'.';
  wchar_t* const digitsAt = at;
  std::memcpy(at + kRandomNameDigits, L".tmp", 5 * sizeof(wchar_t));
  for (int attempt = 0; attempt < 100; ++attempt) {
    char digits[kRandomNameDigits];
    RandomNameDigits(NextEntropy(), digits);
    for (size_t i = 0; i < kRandomNameDigits; ++i) digitsAt[i] = static_cast<wchar_t>(digits[i]);
    const HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      replacement->file = file;
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  std::free(temporary);
  replacement->temporary = nullptr;
  return false;
}

// Devices (NUL, CON, a pipe) and streams are written where they are; a disk
// file is overwritten from its start and cut to the new length at the
// commit (so that it may also be the input, still being copied from).
bool BeginInPlace(const wchar_t* path, bool diskFile, Replacement* replacement) {
  const HANDLE file = CreateFileW(path, GENERIC_WRITE, kShareAll, nullptr,
                                  diskFile ? OPEN_ALWAYS : OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  replacement->file = file;
  replacement->cutAtCommit = diskFile;
  return true;
}

// Frees the paths; the handle is closed already.
void ReleasePaths(Replacement* replacement) {
  std::free(replacement->target);
  std::free(replacement->temporary);
  replacement->target = nullptr;
  replacement->temporary = nullptr;
}

}  // namespace

bool OpenInputFile(const NativePathChar* path, InputFile* input) {
  *input = InputFile{nullptr, false, 0, 0, 0};
  // Without backup semantics a directory does not open; the share modes let
  // a file that another program has open (for reading or writing) be read.
  const HANDLE file = CreateFileW(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  const bool sized = GetFileType(file) == FILE_TYPE_DISK;
  if (sized && (!GetFileSizeEx(file, &size) || size.QuadPart < 0)) {
    CloseHandle(file);
    return false;
  }
  *input = InputFile{file, sized, static_cast<uint64_t>(size.QuadPart), 0, 0};
  return true;
}

void CloseInputFile(InputFile* input) {
  if (input->handle != nullptr) CloseHandle(input->handle);
  input->handle = nullptr;
}

bool ReadInput(InputFile* input, uint64_t offset, uint8_t* into, size_t size, size_t* got) {
  size_t done = 0;
  while (done < size) {
    const DWORD want = static_cast<DWORD>(size - done < kMaxTransfer ? size - done : kMaxTransfer);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset + done);
    at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    DWORD read = 0;
    if (!ReadFile(input->handle, into + done, want, &read, input->sized ? &at : nullptr)) {
      const DWORD error = GetLastError();
      if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) break;  // the end
      return false;
    }
    if (read == 0) break;
    done += read;
  }
  *got = done;
  return true;
}

bool BeginReplacement(const NativePathChar* path, uint64_t, const InputFile*,
                      Replacement* replacement) {
  *replacement = Replacement{nullptr, nullptr, nullptr, false, false};
  const TargetKind kind = InspectTarget(path);
  switch (kind) {
    case TargetKind::kDirectory:
    case TargetKind::kReadOnlyFile:  // not to be written, so not to be replaced
    case TargetKind::kUnknown:
      return false;
    case TargetKind::kDevice:
      return BeginInPlace(path, false, replacement);
    case TargetKind::kMissing:
    case TargetKind::kDiskFile:
      break;
  }
  if (NamesStream(path)) return BeginInPlace(path, true, replacement);
  replacement->target = LongFullPath(path);
  if (replacement->target == nullptr || !CreateTemporaryBeside(replacement->target, replacement)) {
    ReleasePaths(replacement);
    return false;
  }
  replacement->replacesExisting = kind == TargetKind::kDiskFile;
  return true;
}

bool WriteReplacement(Replacement* replacement, const uint8_t* data, size_t size) {
  return WriteFully(replacement->file, data, size);
}

bool CopyInputToReplacement(Replacement* replacement, InputFile* input, uint64_t offset,
                            uint64_t length) {
  return CopyThroughBuffer(replacement, input, offset, length);
}

bool CommitReplacement(Replacement* replacement) {
  bool ok = true;
  if (replacement->target == nullptr) {  // written in place
    ok = !replacement->cutAtCommit || SetEndOfFile(replacement->file);
  } else if (replacement->replacesExisting) {
    // Flushed before anything is replaced, so that after a power cut either
    // the old or the new file is there, whole.
    ok = FlushFileBuffers(replacement->file) != 0;
  }
  ok = CloseHandle(replacement->file) && ok;
  replacement->file = nullptr;
  if (ok && replacement->target != nullptr) {
    // ReplaceFileW gives the new file the replaced one's security descriptor,
    // attributes and named streams; it fails rather than drop the ACL.
    ok = replacement->replacesExisting
             ? ReplaceFileW(replacement->target, replacement->temporary, nullptr, 0, nullptr,
                            nullptr) != 0
             : MoveFileExW(replacement->temporary, replacement->target, MOVEFILE_WRITE_THROUGH) != 0;
    if (ok) {
      std::free(replacement->temporary);
      replacement->temporary = nullptr;
    }
  }
  if (!ok) {
    AbandonReplacement(replacement);
    return false;
  }
  ReleasePaths(replacement);
  return true;
}

void AbandonReplacement(Replacement* replacement) {
  const DWORD error = GetLastError();
  if (replacement->file != nullptr) CloseHandle(replacement->file);
  replacement->file = nullptr;
  if (replacement->temporary != nullptr) DeleteFileW(replacement->temporary);
  ReleasePaths(replacement);
  SetLastError(error);
}

}  // namespace quorbix
