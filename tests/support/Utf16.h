// The UTF-16 paths that the library takes, from the UTF-8 strings of the
// tests and benchmarks.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "QuorbixBMPGlow.h"
#include "Utf8ToUtf16.h"

namespace testfiles {

// A test's own string, so not being UTF-8 is the test's fault: it stops.
inline std::u16string Utf16(const std::string& utf8) {
  std::u16string out;
  if (!quorbix::Utf8ToUtf16(utf8.c_str(), &out)) {
    std::fprintf(stderr, "not UTF-8: %s\n", utf8.c_str());
    std::abort();
  }
  return out;
}

// The same as the library's path type (wchar_t on Windows, UTF-16 as well).
inline std::basic_string<QuorbixBMPGlowPathChar> LibraryPath(const std::string& utf8) {
  const std::u16string units = Utf16(utf8);
  return {units.begin(), units.end()};
}

}  // namespace testfiles
