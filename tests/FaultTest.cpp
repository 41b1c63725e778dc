// BMPGlow under the failures and the hostile settings a user meets: a full
// disk, an output directory it may not write, an input that vanishes or
// shrinks, an allocation that fails, a FIFO with no writer, file-size
// limits, links planted by other users, other users watching the output's
// directory, bind mounts. Each failing call must print its one line, return
// 1, keep the previous output byte for byte and leave no temporary file.
// Calls that change process limits or identity run in a forked child.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <new>
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

// The library's fsync calls resolve to this one (the program exports it): it
// notes the name and inode of the file being flushed, then flushes it.
struct Flush {
  char name[256];
  ino_t inode;
};
Flush g_flushes[4];
std::atomic<int> g_flushCount{0};

extern "C" __attribute__((visibility("default"))) int fsync(int fd) {
  const int index = g_flushCount++;
  if (index < 4) {
    Flush& flush = g_flushes[index];
    char link[32], path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, path, sizeof path - 1);
    path[length > 0 ? length : 0] = '\0';
    const char* slash = std::strrchr(path, '/');
    std::snprintf(flush.name, sizeof flush.name, "%.255s", slash != nullptr ? slash + 1 : path);
    struct stat info {};
    fstat(fd, &info);
    flush.inode = info.st_ino;
  }
  return static_cast<int>(syscall(SYS_fsync, fd));
}

// While set, every C++ allocation fails (the program's operator new and
// delete replace the standard ones, in the library too). Not inlined, so
// that the compiler sees no malloc'd block reach a delete.
std::atomic<bool> g_failCxxAllocations{false};

__attribute__((noinline)) void* operator new(size_t size) {
  void* block = g_failCxxAllocations ? nullptr : std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
__attribute__((noinline)) void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return g_failCxxAllocations ? nullptr : std::malloc(size == 0 ? 1 : size);
}
__attribute__((noinline)) void operator delete(void* block) noexcept { std::free(block); }
__attribute__((noinline)) void operator delete(void* block, size_t) noexcept { std::free(block); }

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

// Sets a value under /proc/sys for the length of a test and puts the previous
// one back afterwards, whatever the test's outcome (other programs share the
// machine). `applied` is false where it does not hold (it cannot be set).
struct SysctlSetting {
  SysctlSetting(const char* path, const std::string& value) : path_(path), previous_(Read()) {
    if (previous_ != value) Write(value);
    applied = Read() == value;
  }
  ~SysctlSetting() {
    if (!previous_.empty() && Read() != previous_) Write(previous_);
  }
  void Write(const std::string& value) const { std::ofstream(path_) << value << '\n'; }
  std::string Read() const {
    std::string value;
    std::ifstream(path_) >> value;
    return value;
  }
  std::string path_, previous_;
  bool applied;
};

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

TEST(Faults, OutputDirectoryThatCannotBeWrittenIsWrittenInPlace) {
  // As an unprivileged user: a directory without write permission holds
  // files that the user may write (reached directly, through a link, and the
  // input itself): they are written in place, as a plain "wb" open would. A
  // new file cannot be made there.
  TempDir dir;
  chmod(dir.path().c_str(), 0755);
  const Bytes input = File(6, 5, RandomPixels(20, 5, 23));
  WriteBytes(dir / "in.bmp", input);
  mkdir((dir / "locked").c_str(), 0755);
  for (const std::string name : {"out.bmp", "linked.bmp", "img.bmp"}) {
    WriteBytes(dir / ("locked/" + name), name == "img.bmp" ? input : Bytes(5000, 7));
    chmod((dir / ("locked/" + name)).c_str(), 0666);
  }
  ASSERT_EQ(symlink("locked/linked.bmp", (dir / "link.bmp").c_str()), 0);
  chmod((dir / "locked").c_str(), 0555);

  for (const auto& [in, out] : {std::pair{"in.bmp", "locked/out.bmp"}, {"in.bmp", "link.bmp"},
                                {"locked/img.bmp", "locked/img.bmp"}}) {
    const CallResult result = CallInChild(dir / in, dir / out, BecomeUnprivileged);
    EXPECT_EQ(result.status, 999) << out << result.printed;
    ExpectGlowed(input, dir / out, 54, 6, 5);
  }
  const CallResult fresh = CallInChild(dir / "in.bmp", dir / "locked/new.bmp", BecomeUnprivileged);
  EXPECT_EQ(fresh.status, 1);
  EXPECT_EQ(fresh.printed, kOutputFailed);
  EXPECT_EQ(TempDir::ListOf(dir / "locked").size(), 3u);
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

TEST(Faults, LinkPlantedInASharedStickyDirectoryIsNotFollowed) {
  // Another user's links in a world-writable sticky directory (like /tmp),
  // to a file only root may write and to a missing file in a directory only
  // root may write: with fs.protected_symlinks=1 the kernel follows them for
  // nobody but their owner, and a root caller's output must not go through
  // them either, as the shell's ">" and cp do not.
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to plant a link owned by another user";
  const SysctlSetting protect("/proc/sys/fs/protected_symlinks", "1");
  if (!protect.applied) GTEST_SKIP() << "fs.protected_symlinks cannot be set here";
  TempDir dir;
  WriteBytes(dir / "in.bmp", File(4, 4, RandomPixels(12, 4, 31)));
  mkdir((dir / "private").c_str(), 0700);
  WriteBytes(dir / "private/settings", kPrevious);
  mkdir((dir / "shared").c_str(), 0777);
  chmod((dir / "shared").c_str(), 01777);
  for (const auto& [link, target] : {std::pair{"shared/out.bmp", "private/settings"},
                                     {"shared/new.bmp", "private/new"}}) {
    ASSERT_EQ(symlink((dir / target).c_str(), (dir / link).c_str()), 0);
    ASSERT_EQ(lchown((dir / link).c_str(), 65534, 65534), 0);
    const CallResult result = Call(dir / "in.bmp", dir / link);
    EXPECT_EQ(result.status, 1) << link;
    EXPECT_EQ(result.printed, kOutputFailed) << link;
  }
  EXPECT_EQ(ReadBytes(dir / "private/settings"), kPrevious);
  EXPECT_EQ(TempDir::ListOf(dir / "private").size(), 1u);
  EXPECT_EQ(TempDir::ListOf(dir / "shared").size(), 2u);
}

TEST(Faults, AnotherUserCannotOpenTheTemporaryFile) {
  // A private output (0640, root's group) in a setgid directory of another
  // user's group is replaced a few times: that user watches the directory
  // and tries to open every temporary file the moment it appears. None may
  // open, although the directory would give the temporary file its group.
  if (geteuid() != 0) GTEST_SKIP() << "needs root, for the other user";
  TempDir dir;
  chmod(dir.path().c_str(), 0755);
  ASSERT_EQ(chown(dir.path().c_str(), 0, 65534), 0);
  chmod(dir.path().c_str(), 02775);
  WriteBytes(dir / "in.bmp", File(1000, 1000, RandomPixels(3000, 1000, 32)));
  WriteBytes(dir / "out.bmp", kPrevious);
  ASSERT_EQ(chown((dir / "out.bmp").c_str(), 0, 0), 0);
  chmod((dir / "out.bmp").c_str(), 0640);

  int reports[2];
  ASSERT_EQ(pipe(reports), 0);
  const pid_t watcher = fork();
  if (watcher == 0) {
    // Reports 'w' once watching, then 'o' for a temporary file it opened
    // and 'r' for one it was refused.
    BecomeUnprivileged();
    const int events = inotify_init1(IN_CLOEXEC);
    if (events < 0 || inotify_add_watch(events, dir.path().c_str(), IN_CREATE) < 0) _exit(3);
    (void)!write(reports[1], "w", 1);
    alignas(inotify_event) char buffer[4096];
    for (ssize_t got; (got = read(events, buffer, sizeof buffer)) > 0;) {
      for (char* at = buffer; at < buffer + got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        at += sizeof(inotify_event) + event->len;
        if (event->len == 0 || std::strncmp(event->name, ".out.bmp.", 9) != 0) continue;
        const int fd = open((dir / event->name).c_str(), O_RDONLY);
        if (fd >= 0 || errno == EACCES) (void)!write(reports[1], fd >= 0 ? "o" : "r", 1);
      }
    }
    _exit(0);
  }
  close(reports[1]);
  char ready = 0;
  ASSERT_EQ(read(reports[0], &ready, 1), 1);
  for (int call = 0; call < 10; ++call) ASSERT_EQ(Call(dir / "in.bmp", dir / "out.bmp").status, 999);
  kill(watcher, SIGKILL);
  waitpid(watcher, nullptr, 0);
  std::string seen;
  char chunk[64];
  for (ssize_t got; (got = read(reports[0], chunk, sizeof chunk)) > 0;) seen.append(chunk, static_cast<size_t>(got));
  close(reports[0]);
  EXPECT_EQ(seen.find('o'), std::string::npos) << seen;
  EXPECT_FALSE(seen.empty()) << "the watcher saw no temporary file";
}

TEST(Faults, ReplacedFileKeepsItsGroupAclAndAttributes) {
  // In a setgid directory a new file takes the directory's group; the
  // replaced file keeps its own, its access ACL (the group bits of its mode
  // are the ACL's mask) and its user.* attributes.
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to give the directory another group";
  TempDir dir;
  ASSERT_EQ(chown(dir.path().c_str(), 0, 65534), 0);
  chmod(dir.path().c_str(), 02775);
  WriteBytes(dir / "in.bmp", File(4, 4, RandomPixels(12, 4, 33)));
  const std::string out = dir / "out.bmp";
  WriteBytes(out, kPrevious);
  ASSERT_EQ(chown(out.c_str(), 0, 0), 0);
  chmod(out.c_str(), 0640);
  if (std::system(("setfacl -m u:65534:r--,g::--- '" + out + "' 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "setfacl (package acl) is missing or the file system has no ACLs";
  }
  ASSERT_EQ(setxattr(out.c_str(), "user.origin", "camera", 6, 0), 0);
  const auto attribute = [&out](const char* name) {
    std::string value(256, '\0');
    const ssize_t got = getxattr(out.c_str(), name, &value[0], value.size());
    value.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return value;
  };
  const std::string acl = attribute("system.posix_acl_access");
  struct stat before;
  ASSERT_EQ(stat(out.c_str(), &before), 0);

  ASSERT_EQ(Call(dir / "in.bmp", out).status, 999);
  struct stat after;
  ASSERT_EQ(stat(out.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);  // replaced, not rewritten
  EXPECT_EQ(after.st_uid, 0u);
  EXPECT_EQ(after.st_gid, 0u);
  EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
  EXPECT_EQ(attribute("system.posix_acl_access"), acl);
  EXPECT_EQ(attribute("user.origin"), "camera");
}

TEST(Faults, ReplacedOutputIsFlushedBeforeTheRename) {
  // Durable: the new contents reach stable storage before they replace the
  // old, so a power cut leaves one or the other whole. A new output has
  // nothing to lose and is not flushed.
  TempDir dir;
  WriteBytes(dir / "in.bmp", File(4, 4, RandomPixels(12, 4, 34)));
  WriteBytes(dir / "out.bmp", kPrevious);
  g_flushCount = 0;
  ASSERT_EQ(Call(dir / "in.bmp", dir / "out.bmp").status, 999);
  ASSERT_EQ(g_flushCount, 1);
  struct stat replaced;
  ASSERT_EQ(stat((dir / "out.bmp").c_str(), &replaced), 0);
  EXPECT_EQ(g_flushes[0].inode, replaced.st_ino);
  EXPECT_EQ(std::string(g_flushes[0].name).rfind(".out.bmp.", 0), 0u) << g_flushes[0].name;

  g_flushCount = 0;
  ASSERT_EQ(Call(dir / "in.bmp", dir / "new.bmp").status, 999);
  EXPECT_EQ(g_flushCount, 0);
}

TEST(Faults, TemporaryNameNeverSplitsAUtf8Character) {
  // The temporary file's name keeps at most 120 bytes of the output's name;
  // here byte 120 is the second byte of an "é", which goes whole.
  TempDir dir;
  WriteBytes(dir / "in.bmp", File(4, 4, RandomPixels(12, 4, 35)));
  const std::string name = std::string(119, 'a') + "\xC3\xA9" + "t\xC3\xA9.bmp";
  WriteBytes(dir / name, kPrevious);
  g_flushCount = 0;
  ASSERT_EQ(Call(dir / "in.bmp", dir / name).status, 999);
  ASSERT_EQ(g_flushCount, 1);
  const std::string temporary = g_flushes[0].name;
  EXPECT_EQ(temporary.rfind("." + std::string(119, 'a') + ".", 0), 0u) << temporary;
  EXPECT_EQ(temporary.size(), 1 + 119 + 1 + 10 + 4);
}

TEST(Faults, OutputsReachedThroughDescriptorLinks) {
  // /dev/stdout is the pipe it stands for: the image goes into it, before
  // the status line. /proc/self/fd/N of a deleted file is that file, written
  // in place: nothing named "... (deleted)" appears.
  TempDir dir;
  const Bytes input = File(5, 4, RandomPixels(16, 4, 36));
  WriteBytes(dir / "in.bmp", input);
  const Bytes glowed = testbmp::Glowed(input, 54, 5, 4);
  const CallResult piped = CallInChild(dir / "in.bmp", "/dev/stdout");
  EXPECT_EQ(piped.status, 999);
  EXPECT_EQ(piped.printed, std::string(glowed.begin(), glowed.end()) + kSucceeded);

  const int gone = open((dir / "gone.bmp").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(gone, 0);
  ASSERT_EQ(unlink((dir / "gone.bmp").c_str()), 0);
  const CallResult result = Call(dir / "in.bmp", "/proc/self/fd/" + std::to_string(gone));
  EXPECT_EQ(result.status, 999);
  Bytes written(glowed.size() + 1);
  EXPECT_EQ(pread(gone, written.data(), written.size(), 0), static_cast<ssize_t>(glowed.size()));
  written.pop_back();
  EXPECT_EQ(written, glowed);
  close(gone);
  EXPECT_EQ(dir.List(), std::vector<std::string>{"in.bmp"});
}

TEST(Faults, FileMountedOnItsOwnIsWrittenInPlace) {
  // A single file bind-mounted over another (as containers do) cannot be
  // renamed over: the file behind the mount is written in place.
  TempDir dir;
  const Bytes input = File(6, 3, RandomPixels(20, 3, 37));
  WriteBytes(dir / "in.bmp", input);
  WriteBytes(dir / "source.bmp", kPrevious);
  WriteBytes(dir / "out.bmp", {});
  if (mount((dir / "source.bmp").c_str(), (dir / "out.bmp").c_str(), nullptr, MS_BIND, nullptr) != 0) {
    GTEST_SKIP() << "cannot bind-mount here (needs root)";
  }
  const CallResult result = Call(dir / "in.bmp", dir / "out.bmp");
  umount2((dir / "out.bmp").c_str(), MNT_DETACH);
  EXPECT_EQ(result.status, 999) << result.printed;
  ExpectGlowed(input, dir / "source.bmp", 54, 6, 3);
  EXPECT_EQ(dir.List().size(), 3u);
}

TEST(Faults, MemoryAndReadingAreBoundedByThePixelArray) {
  // A small image with 32 MiB of holes before and after its pixels glows
  // within 16 MiB of address space: the bytes around the pixels are copied,
  // not held. A refused file is read no further than its headers.
  TempDir dir;
  const uint32_t gap = 32u << 20;
  const Bytes pixels = RandomPixels(12, 3, 38);
  Bytes image = testbmp::Headers(3, 3, 24, 54 + gap);
  WriteBytes(dir / "sparse.bmp", image);
  const int fd = open((dir / "sparse.bmp").c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_EQ(pwrite(fd, pixels.data(), pixels.size(), 54 + gap), static_cast<ssize_t>(pixels.size()));
  ASSERT_EQ(ftruncate(fd, 54 + gap + 36 + gap), 0);
  Bytes glowed = pixels;
  testbmp::ReferenceGlow(glowed.data(), 3, 3, 12);
  close(fd);
  // The expected output: the input with the glowed pixels, holes and all.
  ASSERT_EQ(std::system(("cp --sparse=always '" + dir / "sparse.bmp" + "' '" + dir / "expected.bmp" + "'").c_str()), 0);
  const int expected = open((dir / "expected.bmp").c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_EQ(pwrite(expected, glowed.data(), glowed.size(), 54 + gap), 36);
  close(expected);

  const CallResult result = CallInChild(dir / "sparse.bmp", dir / "out.bmp", LimitAddressSpace(16));
  if (result.status == -kLimitIgnored) GTEST_SKIP() << "the address-space limit is not applied here";
  EXPECT_EQ(result.status, 999) << result.printed;
  EXPECT_EQ(std::system(("cmp -s '" + dir / "out.bmp" + "' '" + dir / "expected.bmp" + "'").c_str()), 0);

  // Refused: 16 bits per pixel, in a 1 GiB file.
  WriteBytes(dir / "refused.bmp", testbmp::Headers(4096, 4096, 16));
  ASSERT_EQ(truncate((dir / "refused.bmp").c_str(), off_t{1} << 30), 0);
  const auto bytesRead = [] {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value && key != "rchar:") {
    }
    return value;
  };
  const long long before = bytesRead();
  EXPECT_EQ(Call(dir / "refused.bmp", dir / "out.bmp").status, 1);
  EXPECT_LT(bytesRead() - before, 1 << 20);
}

TEST(Faults, NoCxxAllocationCanFailTheCall) {
  // Every block the call needs comes from malloc or mmap, checked; with
  // every C++ allocation failing, the call still glows and replaces the
  // output, and nothing is left behind (no exception is thrown between
  // making the temporary file and taking charge of it).
  TempDir dir;
  const Bytes input = File(5, 5, RandomPixels(16, 5, 39));
  WriteBytes(dir / "in.bmp", input);
  WriteBytes(dir / "out.bmp", kPrevious);
  const std::u16string in = Utf16(dir / "in.bmp"), out = Utf16(dir / "out.bmp");
  std::fflush(stdout);
  const int savedStdout = dup(STDOUT_FILENO);
  const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
  dup2(devNull, STDOUT_FILENO);
  g_failCxxAllocations = true;
  const int32_t status = BMPGlow(in.c_str(), out.c_str());
  g_failCxxAllocations = false;
  dup2(savedStdout, STDOUT_FILENO);
  close(savedStdout);
  close(devNull);
  EXPECT_EQ(status, 999);
  ExpectGlowed(input, dir / "out.bmp", 54, 5, 5);
  EXPECT_EQ(dir.List().size(), 2u);
}

}  // namespace
