// qbg_bench_call INPUT OUTPUT [INPUT OUTPUT]...: one BMPGlow call per pair in
// a fresh process, one after another, then the process's peak resident
// memory before and after them, in KiB, on stderr. scripts/bench runs it for
// the memory figure and under callgrind with one pair, and `scripts/bench
// cli` with many, for the cost of the calls alone in one process. With
// --no-call first it does all the same but the calls, so that
// scripts/arm-instructions can subtract the instructions of such a run.
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
  const bool call = !(argc > 1 && std::string(argv[1]) == "--no-call");
  const int first = call ? 1 : 2;
  if (argc - first < 2 || (argc - first) % 2 != 0) {
    std::fprintf(stderr, "usage: qbg_bench_call [--no-call] INPUT OUTPUT [INPUT OUTPUT]...\n");
    return 2;
  }
  const long before = PeakKiB();
  bool glowed = true;
  for (int i = first; i + 1 < argc; i += 2) {
    const std::u16string input = testfiles::Utf16(argv[i]), output = testfiles::Utf16(argv[i + 1]);
    if (call) glowed = BMPGlow(input.c_str(), output.c_str()) == QUORBIXBMPGLOW_SUCCESS && glowed;
  }
  std::fprintf(stderr, "peak_kib_before %ld\npeak_kib_after %ld\n", before, PeakKiB());
  return glowed ? 0 : 1;
}
