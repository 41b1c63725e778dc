// qbg_bench_call INPUT OUTPUT [INPUT OUTPUT]...: one BMPGlow call per pair in
// a fresh process, one after another, then the process's peak resident
// memory before and after them, in KiB, on stderr. scripts/bench runs it for
// the memory figure and under callgrind with one pair, and `scripts/bench
// cli` with many, for the cost of the calls alone in one process.
#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "QuorbixBMPGlow.h"
#include "support/Utf16.h"

namespace {

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc % 2 == 0) {
    std::fprintf(stderr, "usage: qbg_bench_call INPUT OUTPUT [INPUT OUTPUT]...\n");
    return 2;
  }
  const long before = PeakKiB();
  bool glowed = true;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::u16string input = testfiles::Utf16(argv[i]), output = testfiles::Utf16(argv[i + 1]);
    glowed = BMPGlow(input.c_str(), output.c_str()) == QUORBIXBMPGLOW_SUCCESS && glowed;
  }
  std::fprintf(stderr, "peak_kib_before %ld\npeak_kib_after %ld\n", before, PeakKiB());
  return glowed ? 0 : 1;
}
