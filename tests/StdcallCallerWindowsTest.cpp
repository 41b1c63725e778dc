// 32-bit Windows: a caller that declares BMPGlow itself, as a Declare
// statement, DllImport or ctypes.WinDLL does (__stdcall, two pointers, a
// 32-bit result), and finds it by name in the loaded DLL; the header's
// declaration plays no part in these calls.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>

#include "support/BmpBuilder.h"
#include "support/TestFiles.h"

// Calls `function` with two arguments pushed on the stack, as a __stdcall or
// __cdecl caller does, and returns how many of their 8 bytes the callee took
// off the stack: 8 for __stdcall, 0 for __cdecl. The status it returned goes
// to *status.
extern "C" uint32_t QbgArgumentBytesCleaned(const void* function, const void* first,
                                            const void* second, int32_t* status);
asm(R"(
    .text
    .globl _QbgArgumentBytesCleaned
_QbgArgumentBytesCleaned:
    pushl %ebx
    movl %esp, %ebx
    pushl 16(%ebx)
    pushl 12(%ebx)
    call *8(%ebx)
    movl 20(%ebx), %ecx
    movl %eax, (%ecx)
    movl %esp, %eax
    subl %ebx, %eax
    addl $8, %eax
    movl %ebx, %esp
    popl %ebx
    ret
)");

namespace {

using namespace testfiles;
using DeclaredGlow = int(__stdcall*)(const wchar_t*, const wchar_t*);

int __stdcall StdcallControl(const wchar_t*, const wchar_t*) { return 0; }
int __cdecl CdeclControl(const wchar_t*, const wchar_t*) { return 0; }

inline uintptr_t StackPointer() {
  uintptr_t pointer;
  asm volatile("movl %%esp, %0" : "=r"(pointer) : : "memory");
  return pointer;
}

class StdcallCaller : public testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryW(L"QuorbixBMPGlow.DLL");
    ASSERT_NE(module_, nullptr) << "error " << GetLastError();
    glow_ = reinterpret_cast<DeclaredGlow>(
        reinterpret_cast<void*>(GetProcAddress(module_, "BMPGlow")));
    ASSERT_NE(glow_, nullptr);
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  HMODULE module_ = nullptr;
  DeclaredGlow glow_ = nullptr;
};

TEST_F(StdcallCaller, ManyCallsGiveTheRightResultAndKeepTheStack) {
  TempDir dir;
  const int32_t width = 9, height = 6;
  const testbmp::Bytes input =
      testbmp::File(width, height, testbmp::RandomPixels(testbmp::StrideFor(width), height, 5));
  WriteBytes(dir / "in.bmp", input);
  const std::u16string in = Utf16(dir / "in.bmp"), out = Utf16(dir / "out.bmp"),
                       missing = Utf16(dir / "missing.bmp");
  const auto* inPath = reinterpret_cast<const wchar_t*>(in.c_str());
  const auto* outPath = reinterpret_cast<const wchar_t*>(out.c_str());
  const auto* missingPath = reinterpret_cast<const wchar_t*>(missing.c_str());

  // Successes and failures in turn; a callee that left its arguments on the
  // stack, or took more, would move the stack pointer 8 bytes a call.
  constexpr int kCalls = 200;
  int wrongStatuses = 0;
  testing::internal::CaptureStdout();
  const uintptr_t before = StackPointer();
  for (int call = 0; call < kCalls; ++call) {
    const bool succeeds = call % 2 == 0;
    const int status = glow_(succeeds ? inPath : missingPath, outPath);
    wrongStatuses += status != (succeeds ? 999 : 1);
  }
  const uintptr_t after = StackPointer();
  const std::string printed = testing::internal::GetCapturedStdout();

  EXPECT_EQ(after, before);
  EXPECT_EQ(wrongStatuses, 0);
  std::string expected;
  for (int call = 0; call < kCalls; ++call) expected += call % 2 == 0 ? kSucceeded : kInputFailed;
  EXPECT_EQ(printed, expected);
  ExpectGlowed(input, dir / "out.bmp", 54, width, height);
}

TEST_F(StdcallCaller, TheExportTakesItsEightArgumentBytesOffTheStack) {
  int32_t status = -1;
  // The measurement itself, on a function of each convention.
  EXPECT_EQ(QbgArgumentBytesCleaned(reinterpret_cast<const void*>(StdcallControl), nullptr,
                                    nullptr, &status),
            8u);
  EXPECT_EQ(QbgArgumentBytesCleaned(reinterpret_cast<const void*>(CdeclControl), nullptr,
                                    nullptr, &status),
            0u);

  testing::internal::CaptureStdout();
  const uint32_t cleaned =
      QbgArgumentBytesCleaned(reinterpret_cast<const void*>(glow_), nullptr, nullptr, &status);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), kInputFailed);
  EXPECT_EQ(cleaned, 8u);
  EXPECT_EQ(status, 1);
}

}  // namespace
