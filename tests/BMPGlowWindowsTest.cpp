// BMPGlow through the DLL: what Windows adds (its separators, devices, the
// replace-existing rename and read-only files).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/BmpBuilder.h"
#include "support/TestFiles.h"

namespace {

using testbmp::Bytes;
using testbmp::File;
using testbmp::RandomPixels;
using namespace testfiles;

TEST(BMPGlowWindows, BackslashesAndForwardSlashesAlike) {
  TempDir dir;
  const Bytes input = File(6, 4, RandomPixels(20, 4, 3));
  MakeDirectory(dir / "sub");
  WriteBytes(dir / "sub/in.bmp", input);
  std::string backslashed = dir / "sub\\out.bmp";
  std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
  ASSERT_EQ(Call(dir / "sub\\in.bmp", backslashed).status, 999);
  ExpectGlowed(input, dir / "sub/out.bmp", 54, 6, 4);
  EXPECT_EQ(TempDir::ListOf(dir / "sub").size(), 2u);
}

TEST(BMPGlowWindows, DriveRelativeNames) {
  // "C:out.bmp" names out.bmp in drive C:'s current folder; the temporary
  // file goes there too, not into the drive's root or the process's folder.
  TempDir dir;
  const Bytes input = File(5, 5, RandomPixels(16, 5, 7));
  WriteBytes(dir / "in.bmp", input);
  wchar_t previous[MAX_PATH];
  ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, previous), 0u);
  ASSERT_TRUE(SetCurrentDirectoryW(LibraryPath(dir.path()).c_str()));
  const std::string drive = dir.path().substr(0, 2);  // "C:"
  const CallResult result = Call(drive + "in.bmp", drive + "out.bmp");
  SetCurrentDirectoryW(previous);
  ASSERT_EQ(result.status, 999);
  ExpectGlowed(input, dir / "out.bmp", 54, 5, 5);
  EXPECT_EQ(dir.List().size(), 2u);
}

TEST(BMPGlowWindows, ReplacesAnExistingOutputAndLeavesNoTemporaryFile) {
  TempDir dir;
  const Bytes input = File(7, 7, RandomPixels(24, 7, 11));
  WriteBytes(dir / "in.bmp", input);
  WriteBytes(dir / "out.bmp", Bytes(5000, 0xEE));  // longer than the result
  ASSERT_EQ(Call(dir / "in.bmp", dir / "out.bmp").status, 999);
  ExpectGlowed(input, dir / "out.bmp", 54, 7, 7);
  EXPECT_EQ(dir.List().size(), 2u);
}

TEST(BMPGlowWindows, DevicesAreWrittenDirectly) {
  TempDir dir;
  WriteBytes(dir / "in.bmp", File(4, 4, RandomPixels(12, 4, 1)));
  for (const char* device : {"NUL", "nul", "\\\\.\\NUL"}) {
    const CallResult result = Call(dir / "in.bmp", device);
    EXPECT_EQ(result.status, 999) << device;
    EXPECT_EQ(result.printed, kSucceeded) << device;
  }
  EXPECT_EQ(dir.List(), std::vector<std::string>{"in.bmp"});
}

TEST(BMPGlowWindows, ReadOnlyOutputIsRefusedAndKept) {
  // A read-only file is not replaced, as it could not be opened for writing:
  // it keeps its bytes and no temporary file is left.
  TempDir dir;
  WriteBytes(dir / "in.bmp", File(4, 4, RandomPixels(12, 4, 1)));
  WriteBytes(dir / "locked.bmp", {'o', 'l', 'd'});
  const std::wstring locked = LibraryPath(dir / "locked.bmp");
  ASSERT_TRUE(SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY));
  const CallResult result = Call(dir / "in.bmp", dir / "locked.bmp");
  SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.printed, kOutputFailed);
  EXPECT_EQ(ReadBytes(dir / "locked.bmp"), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(dir.List().size(), 2u);
}

TEST(BMPGlowWindows, InputHeldOpenByAnotherWriterIsStillRead) {
  TempDir dir;
  const Bytes input = File(5, 3, RandomPixels(16, 3, 4));
  WriteBytes(dir / "in.bmp", input);
  const std::wstring path = LibraryPath(dir / "in.bmp");
  const HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  const CallResult result = Call(dir / "in.bmp", dir / "out.bmp");
  CloseHandle(writer);
  EXPECT_EQ(result.status, 999);
  ExpectGlowed(input, dir / "out.bmp", 54, 5, 3);
}

TEST(BMPGlowWindows, LongNamesKeepSurrogatePairsWhole) {
  // The temporary file's name is cut from the output's; a cut between the
  // halves of a pair would make a name the file system cannot store.
  TempDir dir;
  const Bytes input = File(4, 4, RandomPixels(12, 4, 2));
  WriteBytes(dir / "in.bmp", input);
  std::string name(119, 'a');
  for (int i = 0; i < 10; ++i) name += "\xF0\x9F\x8C\x9F";
  name += ".bmp";
  ASSERT_EQ(Call(dir / "in.bmp", dir / name).status, 999);
  ExpectGlowed(input, dir / name, 54, 4, 4);
  EXPECT_EQ(dir.List().size(), 2u);
}

}  // namespace
