// BMPGlow through the built shared library: what POSIX systems add (file
// modes, symbolic links, devices, a file-size limit).
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/BmpBuilder.h"
#include "support/CallInChild.h"
#include "support/TestFiles.h"

namespace {

using testbmp::Bytes;
using testbmp::File;
using testbmp::RandomPixels;
using namespace testfiles;

TEST(BMPGlow, ReplacedOutputKeepsItsModeAndNewOutputFollowsTheUmask) {
  TempDir dir;
  const Bytes input = File(4, 4, RandomPixels(12, 4, 1));
  WriteBytes(dir / "in.bmp", input);
  WriteBytes(dir / "old.bmp", {1, 2, 3});
  chmod((dir / "old.bmp").c_str(), 0640);
  ASSERT_EQ(Call(dir / "in.bmp", dir / "old.bmp").status, 999);
  struct stat info;
  ASSERT_EQ(stat((dir / "old.bmp").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  const mode_t previousMask = umask(027);
  const CallResult fresh = Call(dir / "in.bmp", dir / "new.bmp");
  umask(previousMask);
  ASSERT_EQ(fresh.status, 999);
  ASSERT_EQ(stat((dir / "new.bmp").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(BMPGlow, SymbolicLinkStaysAndItsTargetIsReplaced) {
  TempDir dir;
  const Bytes input = File(5, 5, RandomPixels(16, 5, 8));
  WriteBytes(dir / "in.bmp", input);
  mkdir((dir / "real").c_str(), 0755);
  WriteBytes(dir / "real/target.bmp", {9});
  ASSERT_EQ(symlink("real/target.bmp", (dir / "link.bmp").c_str()), 0);
  ASSERT_EQ(Call(dir / "in.bmp", dir / "link.bmp").status, 999);
  struct stat info;
  ASSERT_EQ(lstat((dir / "link.bmp").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ExpectGlowed(input, dir / "real/target.bmp", 54, 5, 5);
  EXPECT_EQ(dir.List().size(), 3u);

  // A dangling link is completed: its target is created.
  ASSERT_EQ(symlink("real/new.bmp", (dir / "dangling.bmp").c_str()), 0);
  ASSERT_EQ(Call(dir / "in.bmp", dir / "dangling.bmp").status, 999);
  ExpectGlowed(input, dir / "real/new.bmp", 54, 5, 5);
}

TEST(BMPGlow, DevicesAreWrittenDirectly) {
  TempDir dir;
  WriteBytes(dir / "in.bmp", File(4, 4, RandomPixels(12, 4, 1)));
  EXPECT_EQ(Call(dir / "in.bmp", "/dev/null").status, 999);
  const CallResult full = Call(dir / "in.bmp", "/dev/full");
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.printed, kOutputFailed);
}

TEST(BMPGlow, WriteBeyondTheFileSizeLimitIsRefusedBeforeItStarts) {
  // Under RLIMIT_FSIZE a write past the limit stops part way and the kernel
  // sends SIGXFSZ, which ends a process that does not ignore it: the output
  // is refused before anything is written.
  TempDir dir;
  WriteBytes(dir / "in.bmp", File(200, 200, RandomPixels(600, 200, 12)));
  WriteBytes(dir / "out.bmp", {'o', 'l', 'd'});
  const CallResult result = CallInChild(dir / "in.bmp", dir / "out.bmp", [] {
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
  });
  EXPECT_EQ(result.status, 1) << result.printed;
  EXPECT_EQ(result.printed, kOutputFailed);
  EXPECT_EQ(ReadBytes(dir / "out.bmp"), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(dir.List().size(), 2u);
}

}  // namespace
