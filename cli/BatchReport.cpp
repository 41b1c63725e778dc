// What a batch tells its user: each file's status lines, the files that
// failed and why, a progress bar that redraws in place on standard error,
// and a closing summary.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "CommandLine.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// "m:ss", or "h:mm:ss" from an hour on.
std::string Duration(double seconds) {
  const long whole = static_cast<long>(seconds + 0.5);
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  }
  return text;
}

// " 412/1000  41% [=======>       ]   38.2 MB/s  0:12 left  2 failed", as
// wide as the terminal allows, each figure in a field of fixed width so
// that the bar keeps its length; the bar is left out when it has no room.
std::string ProgressLine(const BatchTally& tally) {
  const size_t done = tally.glowed + tally.failed;
  const double elapsed = SecondsSince(tally.start);
  const double fraction = tally.total == 0 ? 1.0 : static_cast<double>(done) / tally.total;
  const int digits = static_cast<int>(std::to_string(tally.total).size());
  const std::string timeLeft =
      done == 0 ? std::string("-:--") : Duration(elapsed / done * (tally.total - done));
  const double megabytesPerSecond = elapsed > 0 ? tally.bytes / elapsed / 1e6 : 0;
  char left[64], right[96];
  std::snprintf(left, sizeof left, " %*zu/%zu %3.0f%% ", digits, done, tally.total,
                fraction * 100);
  std::snprintf(right, sizeof right, " %7.1f MB/s %7s left  %*zu failed", megabytesPerSecond,
                timeLeft.c_str(), digits, tally.failed);
  const size_t columns = static_cast<size_t>(std::max(TerminalColumns(), 20)) - 1;
  std::string line = left;
  const size_t fixed = line.size() + std::strlen(right) + 2;
  if (columns >= fixed + 10) {
    const size_t width = columns - fixed;
    const size_t filled = static_cast<size_t>(fraction * width);
    line += '[' + std::string(filled, '=');
    if (filled < width) line += '>' + std::string(width - filled - 1, ' ');
    line += ']';
  }
  line += right;
  if (line.size() > columns) line.resize(columns);
  return line;
}

void DrawProgress(BatchTally* tally) {
  const std::string line = ProgressLine(*tally);
  const size_t blank = tally->barShown > line.size() ? tally->barShown - line.size() : 0;
  std::fprintf(stderr, "\r%s%s", line.c_str(), std::string(blank, ' ').c_str());
  std::fflush(stderr);
  tally->barShown = line.size();
  tally->drawn = Clock::now();
}

// Takes the bar off the screen, so that the next output starts a clean line.
void ClearProgress(BatchTally* tally) {
  if (tally->barShown == 0) return;
  std::fprintf(stderr, "\r%s\r", std::string(tally->barShown, ' ').c_str());
  std::fflush(stderr);
  tally->barShown = 0;
}

// The library's reason: its status line without the line end.
std::string Reason(const FileOutcome& outcome) {
  switch (outcome.result) {
    case FileResult::kUnusablePath:
      return kUnusablePathReason;
    case FileResult::kAbnormalEnd:
      return "the call ended abnormally" +
             (outcome.signal != 0 ? " (signal " + std::to_string(outcome.signal) + ")" : "");
    case FileResult::kStopped:
      return "stopped by a second Ctrl-C; its output is as it was";
    case FileResult::kNotStarted:
      return "not glowed: no worker could be started";
    case FileResult::kGlowed:
    case FileResult::kFailed:
      break;
  }
  std::string line = outcome.lines.substr(0, outcome.lines.find_first_of("\r\n"));
  return line.empty() ? "the library printed no status line" : line;
}

}  // namespace

void StartBatch(BatchTally* tally, size_t total, bool quiet, bool progress) {
  *tally = BatchTally{};
  tally->total = total;
  tally->quiet = quiet;
  tally->progress = progress;
  tally->statusOnTerminal = IsTerminal(1);
  tally->start = Clock::now();
  if (progress) DrawProgress(tally);
}

void RecordOutcome(BatchTally* tally, const NativeChar* file, const FileOutcome& outcome) {
  const bool glowed = outcome.result == FileResult::kGlowed;
  if (!tally->quiet && !outcome.lines.empty()) {
    if (tally->statusOnTerminal) ClearProgress(tally);
    std::fwrite(outcome.lines.data(), 1, outcome.lines.size(), stdout);
    if (outcome.lines.back() != '\n') std::fputc('\n', stdout);
    // One write per file: lines stay whole even when several programs
    // share this standard output (xargs -P).
    std::fflush(stdout);
  }
  if (glowed) {
    ++tally->glowed;
    tally->bytes += outcome.bytes;
  } else {
    ++tally->failed;
    ClearProgress(tally);
    std::fflush(stdout);
    std::fprintf(stderr, "bmpglow: " QBG_NATIVE ": %s\n", file, Reason(outcome).c_str());
  }
  if (tally->progress && tally->barShown == 0) DrawProgress(tally);
}

void NoteInterrupt(BatchTally* tally, size_t inFlight) {
  if (inFlight == 0) return;
  ClearProgress(tally);
  std::fflush(stdout);
  const bool one = inFlight == 1;
  std::fprintf(stderr,
               "bmpglow: interrupted: finishing the %zu file%s in flight (Ctrl-C again stops %s)\n",
               inFlight, one ? "" : "s", one ? "it" : "them");
}

void RefreshProgress(BatchTally* tally) {
  if (tally->progress && Clock::now() - tally->drawn >= kProgressInterval) DrawProgress(tally);
}

int FinishBatch(BatchTally* tally, bool interrupted) {
  ClearProgress(tally);
  std::fflush(stdout);
  const size_t notStarted = tally->total - tally->glowed - tally->failed;
  std::string counts = std::to_string(tally->glowed) + " glowed, " + std::to_string(tally->failed) +
                       " failed";
  if (interrupted) {
    counts = "interrupted: " + counts + ", " + std::to_string(notStarted) + " not started";
  }
  std::fprintf(stderr, "bmpglow: %s, %.1f MB in %.2f s\n", counts.c_str(), tally->bytes / 1e6,
               SecondsSince(tally->start));
  return tally->failed == 0 && !interrupted ? 0 : 1;
}
