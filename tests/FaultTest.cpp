// BMPGlow under the failures a user meets: a full disk, an output directory
// it may not write, an input that vanishes or shrinks, an allocation that
// fails, a FIFO with no writer. Each failing call must print its one line,
// return 1, keep the previous output byte for byte and leave no temporary
// file. Calls that change process limits or identity run in a forked child.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/BmpBuilder.h"
#include "support/CallInChild.h"
#include "support/TestFiles.h"

// The allocation-failure cases need the sanitizer's allocator to return null,
// as the C library's does, rather than stop the process. (The runtime looks
// this hook up dynamically: the target exports it.)
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}

namespace {

using testbmp::File;
using testbmp::RandomPixels;
using testbmp::StrideFor;
using namespace testfiles;

const Bytes kPrevious = {'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'};

// In the child: become the unprivileged user when running as root (as CI
// does), so that permissions apply; otherwise the caller already is one.
void BecomeUnprivileged() {
  if (geteuid() != 0) return;
  if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
}

// A small memory file system mounted for the length of a test (root only).
struct SmallFileSystem {
  explicit SmallFileSystem(const std::string& where, const char* size) : path(where) {
    mkdir(path.c_str(), 0755);
    const std::string options = std::string("size=") + size;
    mounted = mount("qbg-test", path.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallFileSystem() {
    if (mounted) umount2(path.c_str(), MNT_DETACH);
  }
  std::string path;
  bool mounted;
};

// The previous output (or input) is intact and nothing else is in its directory.
void ExpectKept(const TempDir& dir, const std::string& name, const Bytes& contents,
                size_t entries) {
  EXPECT_EQ(ReadBytes(dir / name), contents) << name;
  EXPECT_EQ(dir.List().size(), entries) << name << ": a temporary file was left";
}

TEST(Faults, FullFileSystemKeepsThePreviousOutputAndTheInput) {
  TempDir dir;
  SmallFileSystem small(dir / "small", "64k");
  if (!small.mounted) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  const Bytes large = File(200, 150, RandomPixels(600, 150, 21));  // ~88 KiB
  WriteBytes(dir / "in.bmp", large);
  WriteBytes(dir / "small/out.bmp", kPrevious);
  CallResult result = Call(dir / "in.bmp", dir / "small/out.bmp");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.printed, kOutputFailed);
  EXPECT_EQ(ReadBytes(dir / "small/out.bmp"), kPrevious);
  EXPECT_EQ(TempDir::ListOf(dir / "small"), std::vector<std::string>{"out.bmp"});

  // Rewriting in place needs room for a second copy: without it the input
  // stays as it was, where truncating first would have destroyed it.
  const Bytes medium = File(100, 120, RandomPixels(300, 120, 22));  // ~35 KiB
  WriteBytes(dir / "small/img.bmp", medium);
  unlink((dir / "small/out.bmp").c_str());
  result = Call(dir / "small/img.bmp", dir / "small/img.bmp");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.printed, kOutputFailed);
  EXPECT_EQ(ReadBytes(dir / "small/img.bmp"), medium);
  EXPECT_EQ(TempDir::ListOf(dir / "small"), std::vector<std::string>{"img.bmp"});
}

TEST(Faults, DeviceFullBehindASymbolicLink) {
  TempDir dir;
  WriteBytes(dir / "in.bmp", File(4, 4, RandomPixels(12, 4, 1)));
  ASSERT_EQ(symlink("/dev/full", (dir / "out.bmp").c_str()), 0);
  const CallResult result = Call(dir / "in.bmp", dir / "out.bmp");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.printed, kOutputFailed);
  struct stat info;
  ASSERT_EQ(lstat((dir / "out.bmp").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(dir.List().size(), 2u);
}

TEST(Faults, OutputDirectoryThatCannotBeWritten) {
  // As an unprivileged user: a directory without write permission holds a
  // previous output that the user could write, and the user's own image.
  TempDir dir;
  chmod(dir.path().c_str(), 0755);
  const Bytes input = File(6, 5, RandomPixels(20, 5, 23));
  WriteBytes(dir / "in.bmp", input);
  mkdir((dir / "locked").c_str(), 0755);
  WriteBytes(dir / "locked/out.bmp", kPrevious);
  WriteBytes(dir / "locked/img.bmp", input);
  chmod((dir / "locked/out.bmp").c_str(), 0666);
  chmod((dir / "locked/img.bmp").c_str(), 0666);
  chmod((dir / "locked").c_str(), 0555);

  for (const auto& [in, out] : {std::pair{"in.bmp", "locked/out.bmp"},
                                {"in.bmp", "locked/new.bmp"},
                                {"locked/img.bmp", "locked/img.bmp"}}) {
    const CallResult result = CallInChild(dir / in, dir / out, BecomeUnprivileged);
    EXPECT_EQ(result.status, 1) << out;
    EXPECT_EQ(result.printed, kOutputFailed) << out;
  }
  EXPECT_EQ(ReadBytes(dir / "locked/out.bmp"), kPrevious);
  EXPECT_EQ(ReadBytes(dir / "locked/img.bmp"), input);
  EXPECT_EQ(TempDir::ListOf(dir / "locked").size(), 2u);
}

TEST(Faults, OutputsTheUserMayNotReplace) {
  // As an unprivileged user, in a directory the user may write:
  // - a read-only output stays, as opening it for writing would fail;
  // - in a sticky directory (like /tmp) another user's file may be writable
  //   yet not renamed over: the temporary file is written, the rename fails
  //   and the temporary file goes. (Needs root to own that file.)
  struct Case {
    const char* name;
    mode_t directoryMode, outputMode;
  };
  for (const Case& fault : {Case{"read-only output", 0777, 0444}, Case{"sticky directory", 01777, 0666}}) {
    if (fault.directoryMode == 01777 && geteuid() != 0) continue;
    TempDir dir;
    chmod(dir.path().c_str(), fault.directoryMode);
    WriteBytes(dir / "in.bmp", File(4, 4, RandomPixels(12, 4, 24)));
    WriteBytes(dir / "out.bmp", kPrevious);
    chmod((dir / "out.bmp").c_str(), fault.outputMode);
    const CallResult result = CallInChild(dir / "in.bmp", dir / "out.bmp", BecomeUnprivileged);
    EXPECT_EQ(result.status, 1) << fault.name;
    EXPECT_EQ(result.printed, kOutputFailed) << fault.name;
    ExpectKept(dir, "out.bmp", kPrevious, 2);
  }
}

TEST(Faults, OutputsThatCanNeverBeWritten) {
  // A FIFO that nobody reads fails at once; a loop of symbolic links fails.
  TempDir dir;
  WriteBytes(dir / "in.bmp", File(4, 4, RandomPixels(12, 4, 28)));
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink("loop-b", (dir / "loop-a").c_str()), 0);
  ASSERT_EQ(symlink("loop-a", (dir / "loop-b").c_str()), 0);
  for (const char* output : {"fifo", "loop-a"}) {
    const CallResult result = CallInChild(dir / "in.bmp", dir / output);
    EXPECT_EQ(result.status, 1) << output << result.printed;
    EXPECT_EQ(result.printed, kOutputFailed) << output;
  }
  EXPECT_EQ(dir.List().size(), 4u);
}

TEST(Faults, InputThatVanishesOrShrinksBetweenCalls) {
  TempDir dir;
  const Bytes input = File(7, 6, RandomPixels(24, 6, 25));
  WriteBytes(dir / "in.bmp", input);
  ASSERT_EQ(Call(dir / "in.bmp", dir / "out.bmp").status, 999);
  const Bytes firstOutput = ReadBytes(dir / "out.bmp");

  // Shrunk: cut inside the last row, then inside the headers.
  for (size_t size : {input.size() - 5, size_t{60}, size_t{20}}) {
    ASSERT_EQ(truncate((dir / "in.bmp").c_str(), static_cast<off_t>(size)), 0);
    const CallResult result = Call(dir / "in.bmp", dir / "out.bmp");
    EXPECT_EQ(result.status, 1) << size;
    EXPECT_EQ(result.printed, kInputFailed) << size;
    ExpectKept(dir, "out.bmp", firstOutput, 2);
  }
  // Vanished.
  ASSERT_EQ(unlink((dir / "in.bmp").c_str()), 0);
  const CallResult result = Call(dir / "in.bmp", dir / "out.bmp");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.printed, kInputFailed);
  ExpectKept(dir, "out.bmp", firstOutput, 1);
}

// A sparse file whose headers describe a 24-bit image of about `megabytes`
// MiB, every pixel present (as zeros): valid, but big.
void WriteSparseImage(const std::string& path, int32_t megabytes) {
  const int32_t width = 1024, height = megabytes * 1024 / 3;
  const Bytes headers = testbmp::Headers(width, height);
  WriteBytes(path, headers);
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(54 + int64_t{StrideFor(width)} * height)), 0);
}

constexpr int kLimitIgnored = 4;

// In the child: allow only `megabytes` MiB of address space beyond what the
// process maps already.
std::function<void()> LimitAddressSpace(long megabytes) {
  return [megabytes] {
    long mappedKiB = 0;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("VmSize:", 0) == 0) mappedKiB = std::stol(line.substr(7));
    }
    const rlim_t limit = static_cast<rlim_t>(mappedKiB + megabytes * 1024) * 1024;
    const rlimit memory{limit, limit};
    if (mappedKiB == 0 || setrlimit(RLIMIT_AS, &memory) != 0) _exit(3);
    // An emulator (qemu-user) accepts the limit without applying it. (The
    // volatile keeps the compiler from assuming the probe succeeds.)
    static void* volatile probe;
    probe = std::malloc(static_cast<size_t>(megabytes) * 2 << 20);
    if (probe != nullptr) _exit(kLimitIgnored);
  };
}

TEST(Faults, AllocationThatFails) {
  TempDir dir;
  WriteBytes(dir / "out.bmp", kPrevious);
  // The file buffer (1 GiB) cannot be had at all.
  WriteSparseImage(dir / "huge.bmp", 1024);
  CallResult result = CallInChild(dir / "huge.bmp", dir / "out.bmp", LimitAddressSpace(256));
  if (result.status == -kLimitIgnored) GTEST_SKIP() << "the address-space limit is not applied here";
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.printed, kInputFailed);
  // The file buffer (160 MiB) fits, the glow buffer beside it does not.
  WriteSparseImage(dir / "big.bmp", 160);
  result = CallInChild(dir / "big.bmp", dir / "out.bmp", LimitAddressSpace(256));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.printed, kInputFailed);
  ExpectKept(dir, "out.bmp", kPrevious, 3);
}

TEST(Faults, FifoInputWithoutAWriterIsRefusedAtOnce) {
  TempDir dir;
  ASSERT_EQ(mkfifo((dir / "pipe.bmp").c_str(), 0600), 0);
  WriteBytes(dir / "out.bmp", kPrevious);
  const CallResult result = CallInChild(dir / "pipe.bmp", dir / "out.bmp");
  EXPECT_EQ(result.status, 1) << result.printed;
  EXPECT_EQ(result.printed, kInputFailed);
  ExpectKept(dir, "out.bmp", kPrevious, 2);
}

TEST(Faults, FifoInputIsReadToItsEnd) {
  // A stream larger than the first read block: the buffer has to grow.
  TempDir dir;
  Bytes input = File(300, 250, RandomPixels(900, 250, 26));
  input.resize(input.size() + 77, 0xAB);  // trailing data
  const std::string fifo = dir / "pipe.bmp";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A reader that never reads lets the writer open before BMPGlow does.
  const int idleReader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(idleReader, 0);
  int opened[2];
  ASSERT_EQ(pipe(opened), 0);
  const pid_t writer = fork();
  if (writer == 0) {
    const int fd = open(fifo.c_str(), O_WRONLY);
    (void)!write(opened[1], "!", 1);
    for (size_t done = 0; fd >= 0 && done < input.size();) {
      const ssize_t put = write(fd, input.data() + done, input.size() - done);
      if (put <= 0) _exit(1);
      done += static_cast<size_t>(put);
    }
    _exit(0);
  }
  char ready;
  ASSERT_EQ(read(opened[0], &ready, 1), 1);
  const CallResult result = CallInChild(fifo, dir / "out.bmp");
  close(idleReader);
  int wait = 0;
  waitpid(writer, &wait, 0);
  EXPECT_EQ(result.status, 999);
  Bytes expected = input;
  testbmp::ReferenceGlow(expected.data() + 54, 300, 250, 900);
  EXPECT_EQ(ReadBytes(dir / "out.bmp"), expected);
}

}  // namespace
