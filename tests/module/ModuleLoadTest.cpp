// The real module loaded and unloaded by the platform's loader (dlopen and
// dlclose, LoadLibrary and FreeLibrary): the library registers with the
// framework on load, unregisters on unload, and BMPGlow works meanwhile. The
// probe build of the module shows the order of the raw hook against static
// initialisation and exit processing.
//
// What differs between the platforms is what a refused attach does (Linux
// cannot make a load fail from a load hook; Windows fails the load and undoes
// the attach at once), the order within exit processing and the thread
// notifications that only Windows sends.
//
// wine swallows a crash in a DLL's detach, so every unload is checked for
// having run to its end (the full sequence logged, the module gone).
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <string>
#include <vector>

#include "CallLog.h"
#include "support/TestFiles.h"

namespace {

using calllog::Sequence;
using Lines = std::vector<std::string>;
using testfiles::GlowFunction;

// ---- the platform's loader ----

#if defined(_WIN32)
using Module = HMODULE;
using ModuleName = const wchar_t*;
const wchar_t kLibrary[] = L"QuorbixBMPGlow.DLL";
const wchar_t kProbe[] = QBG_PROBE_NAME;

Module Open(ModuleName name) { return LoadLibraryW(name); }
bool Close(Module module) { return FreeLibrary(module) != FALSE; }
bool IsLoaded(ModuleName name) { return GetModuleHandleW(name) != nullptr; }
void* Find(Module module, const char* symbol) {
  // Through void*: FARPROC has no parameters.
  return reinterpret_cast<void*>(GetProcAddress(module, symbol));
}
// The instance handle is the module handle.
const void* InstanceOf(Module module) { return module; }

// mingw-w64's runtime registers its termination table as an exit handler
// once the static constructors have run, so within exit processing it runs
// before the exit handlers those constructors registered.
const Lines kExitProcessing = {"termination table", "exit handler"};
#else
using Module = void*;
using ModuleName = const char*;
const char kLibrary[] = QBG_LIBRARY_PATH;
const char kProbe[] = QBG_PROBE_PATH;

Module Open(ModuleName name) { return dlopen(name, RTLD_NOW | RTLD_LOCAL); }
bool Close(Module module) { return dlclose(module) == 0; }
bool IsLoaded(ModuleName name) {
  void* module = dlopen(name, RTLD_NOW | RTLD_NOLOAD);
  if (module != nullptr) dlclose(module);
  return module != nullptr;
}
void* Find(Module module, const char* symbol) { return dlsym(module, symbol); }
// The instance handle is the library's load address.
const void* InstanceOf(Module module) {
  Dl_info info{};
  EXPECT_NE(dladdr(Find(module, "BMPGlow"), &info), 0);
  return info.dli_fbase;
}

const Lines kExitProcessing = {"exit handler", "termination table"};
#endif

GlowFunction FindGlow(Module module) {
  return reinterpret_cast<GlowFunction>(Find(module, "BMPGlow"));
}

Lines Joined(Lines lines, const Lines& more) {
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

// ---- the tests ----

class ModuleLoad : public testing::Test {
 protected:
  void SetUp() override {
    QfwTestReset();
    // Each test starts with neither module in the process.
    ASSERT_FALSE(IsLoaded(kLibrary));
    ASSERT_FALSE(IsLoaded(kProbe));
  }
  void TearDown() override { QfwTestReset(); }

  static Module Load(ModuleName name) {
    const Module module = Open(name);
    EXPECT_NE(module, nullptr) << "the load failed";
    return module;
  }
  static void Unload(Module module, ModuleName name) {
    ASSERT_TRUE(Close(module));
    EXPECT_FALSE(IsLoaded(name)) << "stayed loaded";
  }
};

TEST_F(ModuleLoad, LoadRegistersAndUnloadUnregisters) {
  int list = 0;
  QfwGetModuleState()->firstListHead = &list;
  const size_t start = QfwTestCallCount();
  const Module module = Load(kLibrary);
  ASSERT_NE(module, nullptr);

  EXPECT_EQ(Sequence(start), (Lines{"get-state", "init", "allocate 64", "construct 0"}));
  const QfwCall init = calllog::First(QFW_INIT_EXTENSION_MODULE);
  EXPECT_EQ(init.pointer, InstanceOf(module));
  EXPECT_EQ(QfwTestLibraryRecordCount(init.module), 1u);
  EXPECT_NE(init.module->initialised, 0);
  EXPECT_EQ(QfwGetModuleState()->firstListBefore, &list);
  EXPECT_EQ(QfwGetModuleState()->firstListHead, nullptr);

  testfiles::ExpectGlowWorks(FindGlow(module));
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 1u);

  const size_t beforeUnload = QfwTestCallCount();
  Unload(module, kLibrary);
  EXPECT_EQ(Sequence(beforeUnload), Lines{"term 0"});
  EXPECT_EQ(calllog::First(QFW_TERM_EXTENSION_MODULE, beforeUnload).module, init.module);
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
}

TEST_F(ModuleLoad, FailedAllocationStillLoadsUnregistered) {
  QfwTestFailAllocate(1);
  const Module module = Load(kLibrary);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(Sequence(), (Lines{"get-state", "init", "allocate 64 null"}));
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
  testfiles::ExpectGlowWorks(FindGlow(module));
  Unload(module, kLibrary);
  EXPECT_EQ(Sequence(3), Lines{"term 0"});
}

TEST_F(ModuleLoad, RefusedInitialisationRegistersNothing) {
  QfwTestFailInit(1);
  const Module module = Open(kLibrary);
  EXPECT_EQ(Sequence(), (Lines{"get-state", "init-refused"}))
      << "no allocation, no library record";
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
#if defined(_WIN32)
  // The load fails; the next one, with the framework willing, succeeds as a
  // first one would.
  EXPECT_EQ(module, nullptr);
  EXPECT_FALSE(IsLoaded(kLibrary));
  QfwTestReset();
  const Module again = Load(kLibrary);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 1u);
  Unload(again, kLibrary);
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
#else
  // A load hook cannot make dlopen fail: the library stays loaded,
  // unregistered, BMPGlow works, and the unload does not call the framework.
  ASSERT_NE(module, nullptr);
  testfiles::ExpectGlowWorks(FindGlow(module));
  Unload(module, kLibrary);
  EXPECT_EQ(Sequence(2), Lines{}) << "a module the framework refused is not terminated";
#endif
}

TEST_F(ModuleLoad, RawHookRunsAroundStaticInitialisationAndExitProcessing) {
  const Module module = Load(kProbe);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(Sequence(), (Lines{"raw hook 1", "get-state", "static initialiser", "init",
                               "allocate 64", "construct 0"}));
  const size_t beforeUnload = QfwTestCallCount();
  Unload(module, kProbe);
  EXPECT_EQ(Sequence(beforeUnload), Joined(Joined({"term 0"}, kExitProcessing), {"raw hook 0"}));
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
}

// After a refused attach the module's exit processing and the raw hook still
// run: at once on Windows, where the load fails, at the unload on Linux.
TEST_F(ModuleLoad, RefusedAttachStillRunsExitProcessingAndTheRawHook) {
  QfwTestFailInit(1);
  const Lines attach = {"raw hook 1", "get-state", "static initialiser", "init-refused"};
  const Module module = Open(kProbe);
#if defined(_WIN32)
  EXPECT_EQ(module, nullptr);
#else
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(Sequence(), attach) << "exit processing waits for the unload";
  Unload(module, kProbe);
#endif
  EXPECT_FALSE(IsLoaded(kProbe));
  EXPECT_EQ(Sequence(), Joined(Joined(attach, kExitProcessing), {"raw hook 0"}));
}

#if defined(_WIN32)
TEST_F(ModuleLoad, ExportsBMPGlowByNameAndAsOrdinalOne) {
  const Module module = Load(kLibrary);
  ASSERT_NE(module, nullptr);
  const FARPROC byName = GetProcAddress(module, "BMPGlow");
  ASSERT_NE(byName, nullptr);
  EXPECT_EQ(byName, GetProcAddress(module, MAKEINTRESOURCEA(1)));
  EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(2)), nullptr);
  Unload(module, kLibrary);
}

DWORD WINAPI DoNothing(LPVOID) { return 0; }

TEST_F(ModuleLoad, ThreadsComingAndGoingTouchNeitherFrameworkNorRawHook) {
  const Module module = Load(kProbe);
  ASSERT_NE(module, nullptr);
  const size_t afterLoad = QfwTestCallCount();
  const HANDLE thread = CreateThread(nullptr, 0, DoNothing, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  EXPECT_EQ(Sequence(afterLoad), Lines{});
  Unload(module, kProbe);
}
#endif

}  // namespace
