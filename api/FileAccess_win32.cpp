// Windows file access: files opened by their UTF-16 names through the wide
// file API, whole-file reads and replace-by-rename writes.
#include "FileAccess.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "FileReading.h"

namespace quorbix {
namespace {

// ReadFile and WriteFile take 32-bit counts.
constexpr size_t kMaxTransfer = size_t{1} << 30;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Reads until `size` bytes arrived or end of file; false on a read error.
bool ReadFully(void* source, uint8_t* into, size_t size, size_t* got) {
  const HANDLE file = *static_cast<HANDLE*>(source);
  size_t done = 0;
  while (done < size) {
    const DWORD want = static_cast<DWORD>(size - done < kMaxTransfer ? size - done : kMaxTransfer);
    DWORD read = 0;
    if (!ReadFile(file, into + done, want, &read, nullptr)) {
      if (GetLastError() == ERROR_BROKEN_PIPE) break;  // the writer closed: end of stream
      return false;
    }
    if (read == 0) break;
    done += read;
  }
  *got = done;
  return true;
}

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

// Creates a new, empty temporary file beside `target`: ".<name>.<random>.tmp"
// in the same directory (or on the same drive, for "C:name"), so that the
// final rename stays within one volume.
HANDLE CreateTemporaryBeside(const std::wstring& target, std::wstring* temporaryPath) {
  size_t split = target.find_last_of(L"\\/");
  if (split == std::wstring::npos && target.size() > 2 && target[1] == L':') split = 1;
  const size_t nameStart = split == std::wstring::npos ? 0 : split + 1;
  // The name is shortened so that the whole stays a valid file name, never
  // between the two halves of a surrogate pair.
  size_t kept = target.size() - nameStart < 120 ? target.size() - nameStart : 120;
  const wchar_t last = kept > 0 ? target[nameStart + kept - 1] : 0;
  if (kept == 120 && last >= 0xD800 && last <= 0xDBFF) --kept;
  const std::wstring prefix =
      target.substr(0, nameStart) + L"." + target.substr(nameStart, kept) + L".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    char digits[kRandomNameDigits];
    RandomNameDigits(NextEntropy(), digits);
    const std::wstring name = prefix + std::wstring(digits, digits + kRandomNameDigits) + L".tmp";
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      *temporaryPath = name;
      return file;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  return INVALID_HANDLE_VALUE;
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

// Devices (NUL, CON, a pipe) cannot be renamed over: they are written in place.
bool WriteInPlace(const wchar_t* path, const uint8_t* data, size_t size) {
  const HANDLE file =
      CreateFileW(path, GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool ok = WriteFully(file, data, size);
  return CloseHandle(file) && ok;
}

}  // namespace

bool ReadWholeFile(const NativePathChar* path, size_t zeroTail, FileContents* contents) {
  // Without backup semantics a directory does not open; the share modes let
  // a file that another program has open (for reading or writing) be read.
  const HANDLE file = CreateFileW(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  HANDLE source = file;
  LARGE_INTEGER size;
  bool ok = false;
  if (GetFileType(file) != FILE_TYPE_DISK) {
    ok = ReadStream(ReadFully, &source, zeroTail, contents);
  } else if (GetFileSizeEx(file, &size) && size.QuadPart >= 0) {
    ok = ReadSizedFile(ReadFully, &source, static_cast<uint64_t>(size.QuadPart), zeroTail, contents);
  }
  CloseHandle(file);
  return ok;
}

bool ReplaceFileContents(const NativePathChar* path, const uint8_t* data, size_t size) {
  switch (InspectTarget(path)) {
    case TargetKind::kDirectory:
    case TargetKind::kReadOnlyFile:  // not to be written, so not to be replaced
      return false;
    case TargetKind::kDevice:
      return WriteInPlace(path, data, size);
    case TargetKind::kMissing:
    case TargetKind::kDiskFile:
    case TargetKind::kUnknown:  // the temporary file and the rename decide
      break;
  }

  std::wstring temporary;
  const HANDLE file = CreateTemporaryBeside(path, &temporary);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteFully(file, data, size);
  ok = CloseHandle(file) && ok;
  // The platform's replace-existing rename.
  ok = ok && MoveFileExW(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING) != 0;
  if (!ok) DeleteFileW(temporary.c_str());
  return ok;
}

}  // namespace quorbix
