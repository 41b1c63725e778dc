// A loader test host: the real QuorbixBMPGlow.DLL loaded and freed with
// LoadLibrary and FreeLibrary registers with the framework DLL and
// unregisters in order, and BMPGlow works meanwhile; with the framework's
// initialisation made to fail the load fails and nothing is registered.
// The probe build of the module shows where its entry point puts the raw
// hook against the runtime's static initialisation and exit processing.
//
// wine swallows a crash in a DLL's detach, so every unload is checked for
// having run to its end (the full sequence logged, the DLL gone).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "CallLog.h"
#include "support/BmpBuilder.h"
#include "support/TestFiles.h"

namespace {

using calllog::Sequence;
using Lines = std::vector<std::string>;
using GlowFunction = QuorbixBMPGlowFunction;

// GetProcAddress's result as BMPGlow's type (through void*: FARPROC has no
// parameters).
GlowFunction AsGlow(FARPROC function) {
  return reinterpret_cast<GlowFunction>(reinterpret_cast<void*>(function));
}

const wchar_t kLibrary[] = L"QuorbixBMPGlow.DLL";
const wchar_t kProbe[] = QBG_PROBE_NAME;

class ModuleLoader : public testing::Test {
 protected:
  void SetUp() override {
    QfwTestReset();
    ASSERT_EQ(GetModuleHandleW(kLibrary), nullptr);
    ASSERT_EQ(GetModuleHandleW(kProbe), nullptr);
  }
  void TearDown() override { QfwTestReset(); }

  static HMODULE Load(const wchar_t* name) {
    const HMODULE module = LoadLibraryW(name);
    EXPECT_NE(module, nullptr) << "error " << GetLastError();
    return module;
  }
  static void Unload(HMODULE module, const wchar_t* name) {
    ASSERT_NE(FreeLibrary(module), FALSE);
    EXPECT_EQ(GetModuleHandleW(name), nullptr) << "stayed loaded";
  }

  static void ExpectGlowWorks(GlowFunction glow) {
    ASSERT_NE(glow, nullptr);
    testfiles::TempDir dir;
    const int32_t width = 7, height = 5, stride = testbmp::StrideFor(width);
    const testbmp::Bytes input =
        testbmp::File(width, height, testbmp::RandomPixels(stride, height, 4));
    testfiles::WriteBytes(dir / "in.bmp", input);
    const std::u16string in = testfiles::Utf16(dir / "in.bmp");
    const std::u16string out = testfiles::Utf16(dir / "out.bmp");
    testing::internal::CaptureStdout();
    const int status = glow(reinterpret_cast<const wchar_t*>(in.c_str()),
                            reinterpret_cast<const wchar_t*>(out.c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), testfiles::kSucceeded);
    EXPECT_EQ(status, 999);
    testfiles::ExpectGlowed(input, dir / "out.bmp", 54, width, height);
  }
};

TEST_F(ModuleLoader, LoadRegistersAndFreeUnregisters) {
  int list = 0;
  QfwGetModuleState()->firstListHead = &list;
  const size_t start = QfwTestCallCount();
  const HMODULE module = Load(kLibrary);
  ASSERT_NE(module, nullptr);

  EXPECT_EQ(Sequence(start), (Lines{"get-state", "init", "allocate 64", "construct 0"}));
  const QfwCall init = calllog::First(QFW_INIT_EXTENSION_MODULE);
  EXPECT_EQ(init.pointer, module) << "the instance handle is the module's";
  EXPECT_EQ(QfwTestLibraryRecordCount(init.module), 1u);
  EXPECT_EQ(QfwGetModuleState()->firstListBefore, &list);
  EXPECT_EQ(QfwGetModuleState()->firstListHead, nullptr);

  const FARPROC byName = GetProcAddress(module, "BMPGlow");
  const FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(1));
  ASSERT_NE(byName, nullptr);
  EXPECT_EQ(byName, byOrdinal);
  EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(2)), nullptr);
  ExpectGlowWorks(AsGlow(byName));

  const size_t beforeFree = QfwTestCallCount();
  Unload(module, kLibrary);
  EXPECT_EQ(Sequence(beforeFree), Lines{"term 0"});
  EXPECT_EQ(calllog::First(QFW_TERM_EXTENSION_MODULE, beforeFree).module, init.module);
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
}

TEST_F(ModuleLoader, RefusedInitialisationFailsTheLoad) {
  QfwTestFailInit(1);
  EXPECT_EQ(LoadLibraryW(kLibrary), nullptr);
  EXPECT_EQ(GetModuleHandleW(kLibrary), nullptr);
  EXPECT_EQ(Sequence(), (Lines{"get-state", "init-refused"}))
      << "no allocation, no library record, no termination";
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);

  // The next load, with the framework willing, succeeds as a first one would.
  QfwTestReset();
  const HMODULE module = Load(kLibrary);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 1u);
  Unload(module, kLibrary);
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
}

TEST_F(ModuleLoader, FailedAllocationStillLoadsUnregistered) {
  QfwTestFailAllocate(1);
  const HMODULE module = Load(kLibrary);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(Sequence(), (Lines{"get-state", "init", "allocate 64 null"}));
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
  ExpectGlowWorks(AsGlow(GetProcAddress(module, "BMPGlow")));
  Unload(module, kLibrary);
  EXPECT_EQ(Sequence(3), Lines{"term 0"});
}

DWORD WINAPI DoNothing(LPVOID) { return 0; }

TEST_F(ModuleLoader, ThreadsComingAndGoingTouchNeitherFrameworkNorRawHook) {
  const HMODULE module = Load(kProbe);
  ASSERT_NE(module, nullptr);
  const size_t afterLoad = QfwTestCallCount();
  const HANDLE thread = CreateThread(nullptr, 0, DoNothing, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  EXPECT_EQ(Sequence(afterLoad), Lines{});
  Unload(module, kProbe);
}

// mingw-w64's runtime registers its termination table as an exit handler
// once the static constructors have run, so within exit processing it runs
// before the exit handlers those constructors registered.
TEST_F(ModuleLoader, RawHookRunsAroundStaticInitialisationAndExitProcessing) {
  const HMODULE module = Load(kProbe);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(Sequence(), (Lines{"raw hook 1", "get-state", "static initialiser", "init",
                               "allocate 64", "construct 0"}));
  const size_t beforeFree = QfwTestCallCount();
  Unload(module, kProbe);
  EXPECT_EQ(Sequence(beforeFree),
            (Lines{"term 0", "termination table", "exit handler", "raw hook 0"}));
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
}

TEST_F(ModuleLoader, RefusedAttachIsUndoneBeforeTheLoadFails) {
  QfwTestFailInit(1);
  EXPECT_EQ(LoadLibraryW(kProbe), nullptr);
  EXPECT_EQ(GetModuleHandleW(kProbe), nullptr);
  EXPECT_EQ(Sequence(), (Lines{"raw hook 1", "get-state", "static initialiser", "init-refused",
                               "termination table", "exit handler", "raw hook 0"}));
}

}  // namespace
