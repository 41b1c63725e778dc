// qbg_bench_call INPUT OUTPUT: one BMPGlow call in a fresh process, then the
// process's peak resident memory before and after it, in KiB, on stderr.
// scripts/bench runs it for the memory figure and under callgrind.
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
  if (argc != 3) {
    std::fprintf(stderr, "usage: qbg_bench_call INPUT OUTPUT\n");
    return 2;
  }
  const std::u16string input = testfiles::Utf16(argv[1]), output = testfiles::Utf16(argv[2]);
  const long before = PeakKiB();
  const int32_t status = BMPGlow(input.c_str(), output.c_str());
  std::fprintf(stderr, "peak_kib_before %ld\npeak_kib_after %ld\n", before, PeakKiB());
  return status == QUORBIXBMPGLOW_SUCCESS ? 0 : 1;
}
