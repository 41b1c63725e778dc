// BMPGlow keeps no state between calls: many threads calling it at once on
// distinct files, and thousands of calls in a row, on the success and the
// failure paths. Run in every build; the tsan stage runs it under
// ThreadSanitizer, the sanitize stage under AddressSanitizer, whose leak
// check must find nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define QBG_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QBG_LEAK_CHECK 1
#endif
#endif
#if defined(QBG_LEAK_CHECK)
#include <sanitizer/lsan_interface.h>
#endif

#include "support/BmpBuilder.h"
#include "support/TestFiles.h"

namespace {

using testbmp::File;
using testbmp::Glowed;
using testbmp::RandomPixels;
using testbmp::StrideFor;
using namespace testfiles;

constexpr int kThreads = 4;
constexpr int kCallsPerThread = 500;

// Standard output goes to a file while the calls run, so that their lines can
// be counted: every call prints exactly one whole line, even under threads.
class StdoutToFile {
 public:
  explicit StdoutToFile(const std::string& path) {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, STDOUT_FILENO);
    close(fd);
  }
  ~StdoutToFile() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }

 private:
  int saved_;
};

struct LineCounts {
  int succeeded = 0, inputFailed = 0, outputFailed = 0, other = 0;
};

LineCounts CountLines(const std::string& path) {
  const Bytes bytes = ReadBytes(path);
  std::istringstream text(std::string(bytes.begin(), bytes.end()));
  LineCounts counts;
  for (std::string line; std::getline(text, line);) {
    line += '\n';
    if (line == kSucceeded) ++counts.succeeded;
    else if (line == kInputFailed) ++counts.inputFailed;
    else if (line == kOutputFailed) ++counts.outputFailed;
    else ++counts.other;
  }
  return counts;
}

// Failures seen on worker threads, reported once they joined.
struct Problems {
  std::mutex lock;
  std::vector<std::string> seen;
  void Add(const std::string& what) {
    std::lock_guard<std::mutex> hold(lock);
    if (seen.size() < 20) seen.push_back(what);
  }
};

int32_t Glow(const std::string& input, const std::string& output) {
  const std::u16string in = Utf16(input), out = Utf16(output);
  return BMPGlow(in.c_str(), out.c_str());
}

// One thread's share: its own images and outputs, all in the one shared
// directory (so temporary files are created side by side), cycling through
// a new output, an in-place rewrite, a refused input and an unwritable
// output, every result checked.
void Worker(const TempDir& dir, int thread, Problems* problems) {
  const std::string id = std::to_string(thread);
  const int32_t width = 9 + thread, height = 7;
  const Bytes image = File(width, -height, RandomPixels(StrideFor(width), height, 40 + thread));
  const Bytes glowed = Glowed(image, 54, width, height);
  const Bytes refused = File(width, height, Bytes(16), 16);  // 16 bits per pixel
  WriteBytes(dir / ("in-" + id), image);
  WriteBytes(dir / ("bad-" + id), refused);
  for (int call = 0; call < kCallsPerThread; ++call) {
    const std::string where = "thread " + id + " call " + std::to_string(call) + ": ";
    switch (call % 4) {
      case 0: {
        const std::string out = dir / ("out-" + id + "-" + std::to_string(call % 3));
        if (Glow(dir / ("in-" + id), out) != 999 || ReadBytes(out) != glowed)
          problems->Add(where + "wrong output");
        break;
      }
      case 1: {
        const std::string same = dir / ("same-" + id);
        WriteBytes(same, image);
        if (Glow(same, same) != 999 || ReadBytes(same) != glowed)
          problems->Add(where + "wrong in-place rewrite");
        break;
      }
      case 2:
        if (Glow(dir / ("bad-" + id), dir / ("out-" + id + "-0")) != 1 ||
            ReadBytes(dir / ("out-" + id + "-0")) != glowed)
          problems->Add(where + "refused input changed the output");
        break;
      case 3:
        if (Glow(dir / ("in-" + id), dir / "no-such-dir/out") != 1)
          problems->Add(where + "unwritable output reported success");
        break;
    }
  }
}

TEST(Concurrency, ThreadsGlowDistinctFilesAtOnce) {
  TempDir dir, log;
  Problems problems;
  {
    StdoutToFile capture(log / "stdout");
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread)
      threads.emplace_back(Worker, std::cref(dir), thread, &problems);
    for (std::thread& thread : threads) thread.join();
  }
  for (const std::string& problem : problems.seen) ADD_FAILURE() << problem;

  constexpr int kCalls = kThreads * kCallsPerThread;
  const LineCounts lines = CountLines(log / "stdout");
  EXPECT_EQ(lines.succeeded, kCalls / 2);
  EXPECT_EQ(lines.inputFailed, kCalls / 4);
  EXPECT_EQ(lines.outputFailed, kCalls / 4);
  EXPECT_EQ(lines.other, 0);
  // in-, bad-, same- and three out- files per thread: no temporary file left.
  EXPECT_EQ(dir.List().size(), static_cast<size_t>(kThreads * 6));
  std::cerr << "[ figures ] " << kThreads << " threads x " << kCallsPerThread
            << " calls: " << lines.succeeded << " glowed and checked, " << lines.inputFailed
            << " refused inputs, " << lines.outputFailed << " failed outputs\n";
}

TEST(Concurrency, ThousandsOfCallsLeaveNothingBehind) {
  // Every path through BMPGlow, success and failure, many times over; under
  // AddressSanitizer the leak check after them must find no leak.
  TempDir dir, log;
  const Bytes image = File(6, 5, RandomPixels(20, 5, 50), 24, Bytes(12, 7), Bytes(9, 8));
  const Bytes image32 = File(5, -4, RandomPixels(20, 4, 51), 32);
  WriteBytes(dir / "in.bmp", image);
  WriteBytes(dir / "in32.bmp", image32);
  WriteBytes(dir / "short.bmp", Bytes(image.begin(), image.begin() + 70));
  const std::u16string lone = Utf16(dir / "x") + u'\xD800';
  const std::u16string good = Utf16(dir / "in.bmp");

  constexpr int kRounds = 250;
  int calls = 0, failures = 0;
  {
    StdoutToFile capture(log / "stdout");
    for (int round = 0; round < kRounds; ++round) {
      calls += 10;
      failures += Glow(dir / "in.bmp", dir / "out.bmp") != 999;
      failures += Glow(dir / "in32.bmp", dir / "out32.bmp") != 999;
      failures += Glow(dir / "in.bmp", "/dev/null") != 999;
      WriteBytes(dir / "same.bmp", image);
      failures += Glow(dir / "same.bmp", dir / "same.bmp") != 999;
      failures += Glow(dir / "missing.bmp", dir / "out.bmp") != 1;
      failures += Glow(dir / "short.bmp", dir / "out.bmp") != 1;
      failures += Glow(dir / "in.bmp", "/dev/full") != 1;
      failures += Glow(dir / "in.bmp", dir / "no-such-dir/out.bmp") != 1;
      failures += BMPGlow(lone.c_str(), good.c_str()) != 1;
      failures += BMPGlow(good.c_str(), nullptr) != 1;
    }
  }
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(ReadBytes(dir / "out.bmp"), Glowed(image, 54 + 12, 6, 5));
  EXPECT_EQ(ReadBytes(dir / "out32.bmp"), Glowed(image32, 54, 5, 4, 32));
  const LineCounts lines = CountLines(log / "stdout");
  EXPECT_EQ(lines.succeeded + lines.inputFailed + lines.outputFailed, calls);
  EXPECT_EQ(lines.other, 0);
  EXPECT_EQ(dir.List().size(), 6u);  // in, in32, short, out, out32, same
#if defined(QBG_LEAK_CHECK)
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "leaks after " << calls << " calls";
  std::cerr << "[ figures ] " << calls << " calls, leak check: no leak\n";
#else
  std::cerr << "[ figures ] " << calls << " calls (no leak checker in this build)\n";
#endif
}

}  // namespace
