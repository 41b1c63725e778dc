// The real module loaded and unloaded with dlopen and dlclose: the library
// registers with the framework on load, unregisters on unload, and BMPGlow
// works meanwhile. The probe build of the module shows the order of the ELF
// hooks against static initialisation and exit processing.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <string>
#include <vector>

#include "CallLog.h"
#include "support/BmpBuilder.h"
#include "support/TestFiles.h"

namespace {

using calllog::Sequence;
using Lines = std::vector<std::string>;
using GlowFunction = int32_t (*)(const char16_t*, const char16_t*);

const char kLibrary[] = QBG_LIBRARY_PATH;
const char kProbe[] = QBG_PROBE_PATH;

class ModuleLoad : public testing::Test {
 protected:
  void SetUp() override {
    QfwTestReset();
    // Each test starts with neither library in the process.
    ASSERT_EQ(dlopen(kLibrary, RTLD_NOW | RTLD_NOLOAD), nullptr);
    ASSERT_EQ(dlopen(kProbe, RTLD_NOW | RTLD_NOLOAD), nullptr);
  }
  void TearDown() override { QfwTestReset(); }

  static void* Load(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle, nullptr) << dlerror();
    return handle;
  }
  static void Unload(void* handle, const char* path) {
    ASSERT_EQ(dlclose(handle), 0) << dlerror();
    EXPECT_EQ(dlopen(path, RTLD_NOW | RTLD_NOLOAD), nullptr) << path << " stayed loaded";
  }

  // BMPGlow from the loaded library glows a small image as it should.
  static void ExpectGlowWorks(void* handle) {
    auto glow = reinterpret_cast<GlowFunction>(dlsym(handle, "BMPGlow"));
    ASSERT_NE(glow, nullptr);
    testfiles::TempDir dir;
    const int32_t width = 7, height = 5, stride = testbmp::StrideFor(width);
    const testbmp::Bytes input = testbmp::File(width, height, testbmp::RandomPixels(stride, height, 4));
    testfiles::WriteBytes(dir / "in.bmp", input);
    testing::internal::CaptureStdout();
    const int32_t status = glow(testfiles::Utf16(dir / "in.bmp").c_str(),
                                testfiles::Utf16(dir / "out.bmp").c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Glow effect applied and saved to output.bmp\n");
    EXPECT_EQ(status, 999);
    testbmp::Bytes expected = input;
    testbmp::ReferenceGlow(expected.data() + 54, width, height, stride);
    EXPECT_EQ(testfiles::ReadBytes(dir / "out.bmp"), expected);
  }

  // The load address of the library, which the module gives the framework
  // as its instance handle.
  static const void* LoadAddress(void* handle) {
    Dl_info info{};
    EXPECT_NE(dladdr(dlsym(handle, "BMPGlow"), &info), 0);
    return info.dli_fbase;
  }
};

TEST_F(ModuleLoad, LoadRegistersAndUnloadUnregisters) {
  int list = 0;
  QfwGetModuleState()->firstListHead = &list;
  const size_t start = QfwTestCallCount();
  void* handle = Load(kLibrary);
  ASSERT_NE(handle, nullptr);

  EXPECT_EQ(Sequence(start), (Lines{"get-state", "init", "allocate 64", "construct 0"}));
  const QfwCall init = calllog::First(QFW_INIT_EXTENSION_MODULE);
  EXPECT_EQ(init.pointer, LoadAddress(handle));
  EXPECT_EQ(QfwTestLibraryRecordCount(init.module), 1u);
  EXPECT_NE(init.module->initialised, 0);
  EXPECT_EQ(QfwGetModuleState()->firstListBefore, &list);
  EXPECT_EQ(QfwGetModuleState()->firstListHead, nullptr);

  ExpectGlowWorks(handle);
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 1u);

  const size_t beforeUnload = QfwTestCallCount();
  Unload(handle, kLibrary);
  EXPECT_EQ(Sequence(beforeUnload), Lines{"term 0"});
  EXPECT_EQ(calllog::First(QFW_TERM_EXTENSION_MODULE, beforeUnload).module, init.module);
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
}

TEST_F(ModuleLoad, FailedAllocationStillLoadsUnregistered) {
  QfwTestFailAllocate(1);
  void* handle = Load(kLibrary);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(Sequence(), (Lines{"get-state", "init", "allocate 64 null"}));
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
  ExpectGlowWorks(handle);
  Unload(handle, kLibrary);
  EXPECT_EQ(Sequence(3), Lines{"term 0"});
}

// Linux cannot refuse a dlopen from a load hook: after a refused attach the
// library stays loaded, unregistered, and BMPGlow works.
TEST_F(ModuleLoad, RefusedAttachLeavesTheLibraryLoadedButUnregistered) {
  QfwTestFailInit(1);
  void* handle = Load(kLibrary);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(Sequence(), (Lines{"get-state", "init-refused"}));
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
  ExpectGlowWorks(handle);
  Unload(handle, kLibrary);
  EXPECT_EQ(Sequence(2), Lines{}) << "a module the framework refused is not terminated";
}

TEST_F(ModuleLoad, HooksRunAroundStaticInitialisationAndExitProcessing) {
  void* handle = Load(kProbe);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(Sequence(), (Lines{"raw hook 1", "get-state", "static initialiser", "init",
                               "allocate 64", "construct 0"}));
  const size_t beforeUnload = QfwTestCallCount();
  Unload(handle, kProbe);
  EXPECT_EQ(Sequence(beforeUnload),
            (Lines{"term 0", "exit handler", "termination table", "raw hook 0"}));
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
}

TEST_F(ModuleLoad, RefusedAttachStillRunsExitProcessingAtUnload) {
  QfwTestFailInit(1);
  void* handle = Load(kProbe);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(Sequence(), (Lines{"raw hook 1", "get-state", "static initialiser", "init-refused"}));
  const size_t beforeUnload = QfwTestCallCount();
  Unload(handle, kProbe);
  EXPECT_EQ(Sequence(beforeUnload), (Lines{"exit handler", "termination table", "raw hook 0"}));
}

}  // namespace
