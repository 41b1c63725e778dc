// The pieces of bmpglow shared by its files: the many-file batch (what to
// glow, how each file ended, the running tally with its progress bar) and
// what each platform provides (Host_posix.cpp, Host_win32.cpp).
#ifndef QBG_CLI_COMMANDLINE_H
#define QBG_CLI_COMMANDLINE_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "QuorbixBMPGlow.h"

// Arguments and file names in the platform's own form: UTF-16 on Windows,
// bytes (normally UTF-8) elsewhere.
#if defined(_WIN32)
using NativeChar = wchar_t;
#define QBG_NATIVE "%ls"
#else
using NativeChar = char;
#define QBG_NATIVE "%s"
#endif
using NativeString = std::basic_string<NativeChar>;
using LibraryPath = std::basic_string<QuorbixBMPGlowPathChar>;

// False when `arg` cannot be passed to the library (bmpglow.cpp), for the
// reason given.
bool ToLibraryPath(const NativeChar* arg, LibraryPath* path);
extern const char kUnusablePathReason[];

// The files of `bmpglow -o DIR FILE...` or `bmpglow --in-place FILE...`.
struct BatchPlan {
  std::vector<const NativeChar*> files;
  const NativeChar* outputDir;  // null: each file is glowed into itself
  int jobs;
};

enum class FileResult : int32_t {
  kGlowed,
  kFailed,        // the library's status 1
  kUnusablePath,  // not passed to the library
  kAbnormalEnd,   // the call did not return
  kStopped,       // by a second Ctrl-C
  kNotStarted,    // no worker could be started
};

struct FileOutcome {
  FileResult result;
  uint64_t bytes;     // the input's size, counted when glowed
  std::string lines;  // what the library printed for this file
  int signal;         // kAbnormalEnd: the signal that ended the call, or 0
};

// Glows file `index` of the plan in this process (bmpglow.cpp); the
// library prints its status line on standard output. `lines` stays empty.
FileOutcome GlowBatchFile(const BatchPlan& plan, size_t index);

// The running count of a batch, its progress bar and its summary
// (BatchReport.cpp).
struct BatchTally {
  size_t total;
  size_t glowed;
  size_t failed;
  uint64_t bytes;  // of the files glowed
  bool quiet;      // no status lines
  bool progress;   // the bar on standard error
  bool statusOnTerminal;  // standard output shares the screen with the bar
  size_t barShown;        // characters of the bar now on screen
  std::chrono::steady_clock::time_point start;
  std::chrono::steady_clock::time_point drawn;
};

void StartBatch(BatchTally* tally, size_t total, bool quiet, bool progress);
// Prints the file's status lines (unless quiet), names it on standard error
// if it failed, and counts it.
void RecordOutcome(BatchTally* tally, const NativeChar* file, const FileOutcome& outcome);
// Tells that Ctrl-C was pressed while `inFlight` calls still run.
void NoteInterrupt(BatchTally* tally, size_t inFlight);
// Redraws the bar if it is due (a few times a second).
void RefreshProgress(BatchTally* tally);
// Clears the bar and prints the summary; the exit status (0 or 1).
int FinishBatch(BatchTally* tally, bool interrupted);

// How often the bar is redrawn, and so how long a batch may wait for news.
constexpr std::chrono::milliseconds kProgressInterval{100};

// --- Provided by each platform ---

// Ctrl-C sets a flag instead of ending the program, until it is pressed a
// second time.
void PrepareSignals();
bool Interrupted();
// Ends the program as interrupted: status 130.
int ExitInterrupted();

int ProcessorCount();
bool IsTerminal(int fd);
int TerminalColumns();  // of standard error
bool IsDirectory(const NativeChar* path);
bool FileSize(const NativeChar* path, uint64_t* size);
// A key naming the file itself, equal for two spellings of one file.
NativeString FileIdentity(const NativeChar* path);
// A key equal for two base names that name one file in one directory.
NativeString BaseNameKey(const NativeString& baseName);
bool IsPathSeparator(NativeChar c);
extern const NativeChar kPathSeparator;

// A new private directory for the temporary files of `-`.
bool MakeTemporaryDirectory(NativeString* path);
void RemoveTemporaries(const NativeString& directory, const NativeString* files, size_t count);
int OpenForCopy(const NativeString& path, bool writing);  // a descriptor, or -1
// Image bytes pass through standard input and output unchanged, and a
// closed reader fails a write instead of ending the program.
void PrepareStandardStreams();

// Glows every file of the plan, recording each outcome as it ends; false
// when interrupted (the calls in flight have finished).
bool RunBatch(const BatchPlan& plan, BatchTally* tally);

#endif  // QBG_CLI_COMMANDLINE_H
