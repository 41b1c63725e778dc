// bmpglow on Windows: Ctrl-C, the console, files, and a batch glowed one
// file at a time in this process.
//
// The library prints its status line through the C runtime that it shares
// with bmpglow, so each call's line is caught by pointing the runtime's
// standard output at a pipe for the length of the call. Without fork there
// is no cheap way to give concurrent calls standard outputs of their own, so
// a batch runs its files one after another whatever --jobs says.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <cwctype>
#include <string>

#include "CommandLine.h"

namespace {

volatile LONG gInterrupted = 0;

// The first Ctrl-C lets the call in flight finish; a second ends the
// program at once (the library's output is then as it was), with status 130
// as any interrupted run, not the console's own status for Ctrl-C.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (InterlockedIncrement(&gInterrupted) > 1) TerminateProcess(GetCurrentProcess(), 130);
  return TRUE;
}

// What the library printed into the pipe: it is never more than the pipe
// holds, since the pipe is emptied after every call.
std::string ReadAvailable(int fd) {
  std::string lines;
  DWORD available = 0;
  const HANDLE pipe = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) {
    return lines;
  }
  lines.resize(available);
  const int got = _read(fd, &lines[0], available);
  lines.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return lines;
}

}  // namespace

void PrepareSignals() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool Interrupted() { return InterlockedCompareExchange(&gInterrupted, 0, 0) != 0; }

int ExitInterrupted() { return 130; }

int ProcessorCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return static_cast<int>(info.dwNumberOfProcessors);
}

bool IsTerminal(int fd) { return _isatty(fd) != 0; }

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
  return 80;
}

bool IsDirectory(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileSize(const wchar_t* path, uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return false;
  *size = uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
  return true;
}

// File names compare without regard to case on Windows.
NativeString BaseNameKey(const NativeString& baseName) {
  NativeString key = baseName;
  for (wchar_t& c : key) c = static_cast<wchar_t>(std::towupper(c));
  return key;
}

NativeString FileIdentity(const wchar_t* path) {
  wchar_t full[MAX_PATH * 4];
  const DWORD length = GetFullPathNameW(path, MAX_PATH * 4, full, nullptr);
  if (length == 0 || length >= MAX_PATH * 4) return BaseNameKey(path);
  return BaseNameKey(NativeString(full, length));
}

bool IsPathSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }
const wchar_t kPathSeparator = L'\\';

bool MakeTemporaryDirectory(NativeString* path) {
  wchar_t base[MAX_PATH + 1], name[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH + 1, base) == 0) return false;
  for (int attempt = 0; attempt < 100; ++attempt) {
    // A unique name, taken as a file and then turned into a directory.
    if (GetTempFileNameW(base, L"bmg", 0, name) == 0) return false;
    DeleteFileW(name);
    if (CreateDirectoryW(name, nullptr)) {
      *path = name;
      return true;
    }
  }
  return false;
}

void RemoveTemporaries(const NativeString& directory, const NativeString* files, size_t count) {
  for (size_t i = 0; i < count; ++i) DeleteFileW(files[i].c_str());
  RemoveDirectoryW(directory.c_str());
}

int OpenForCopy(const NativeString& path, bool writing) {
  const int flags = writing ? _O_WRONLY | _O_CREAT | _O_EXCL : _O_RDONLY;
  return _wopen(path.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

void PrepareStandardStreams() {
  _setmode(0, _O_BINARY);
  _setmode(1, _O_BINARY);
}

bool RunBatch(const BatchPlan& plan, BatchTally* tally) {
  int pipe[2] = {-1, -1};
  const bool caught = _pipe(pipe, 4096, _O_BINARY | _O_NOINHERIT) == 0;
  const int standardOutput = caught ? _dup(1) : -1;
  for (size_t index = 0; index < plan.files.size() && !Interrupted(); ++index) {
    std::fflush(stdout);
    const bool redirected = standardOutput >= 0 && _dup2(pipe[1], 1) == 0;
    FileOutcome outcome = GlowBatchFile(plan, index);
    std::fflush(stdout);
    if (redirected) {
      _dup2(standardOutput, 1);
      outcome.lines = ReadAvailable(pipe[0]);
    }
    RecordOutcome(tally, plan.files[index], outcome);
    RefreshProgress(tally);
  }
  if (standardOutput >= 0) _close(standardOutput);
  if (caught) {
    _close(pipe[0]);
    _close(pipe[1]);
  }
  return !Interrupted();
}
