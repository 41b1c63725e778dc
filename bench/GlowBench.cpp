// Benchmarks of the glow: the filter on each path against the two-pass
// baseline and memcpy, and BMPGlow end to end against the file I/O it cannot
// avoid (and OpenCV doing the same job, when it is installed). scripts/bench
// runs them interleaved and prints the ratios of their medians.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "GlowPaths.h"
#include "QuorbixBMPGlow.h"
#include "support/BmpBuilder.h"
#include "support/Utf16.h"

#if defined(QBG_BENCH_OPENCV)
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

struct ImageSize {
  const char* name;
  int32_t width, height;
  int32_t bitCount;  // 24, or 32 (4-byte pixels keeping byte 3)
};
constexpr ImageSize kFilterSizes[] = {{"1MP", 1224, 816, 24},
                                      {"12MP", 4000, 3000, 24},
                                      {"24MP", 6000, 4000, 24},
                                      {"24MP-32bit", 6000, 4000, 32}};
constexpr ImageSize kFileSizes[] = {{"1000x750", 1000, 750, 24},
                                    {"6000x4000", 6000, 4000, 24},
                                    {"6000x4000-32bit", 6000, 4000, 32}};

using testbmp::StrideFor;
using testfiles::Utf16;

// The stored row and pixel array of an image of `size`, and how its pixels
// are laid out.
int32_t StrideOf(const ImageSize& size) { return StrideFor(size.width, size.bitCount); }
size_t PixelBytes(const ImageSize& size) {
  return static_cast<size_t>(StrideOf(size)) * size.height;
}
quorbix::PixelFormat FormatOf(const ImageSize& size) {
  return size.bitCount == 32 ? quorbix::FourBytePixels(3) : quorbix::kThreeBytePixels;
}

// ---- the filter on one buffer ----

enum class FilterRun { kTwoPass, kPortable, kSse2, kAvx2, kNeon, kMemcpy };

struct FilterBuffers {
  std::vector<uint8_t> original, pixels, glow, copy;
};

FilterBuffers& BuffersFor(const ImageSize& size) {
  static FilterBuffers buffers[std::size(kFilterSizes)];
  FilterBuffers& b = buffers[&size - kFilterSizes];
  if (b.original.empty()) {
    const size_t bytes = PixelBytes(size);
    b.original = testbmp::RandomPixels(StrideOf(size), size.height,
                                       static_cast<uint32_t>(size.width));
    b.pixels = b.original;
    b.glow.assign(bytes, 0);
    b.copy.assign(bytes, 1);
  }
  return b;
}

void Filter(benchmark::State& state, FilterRun run, const ImageSize* size) {
  FilterBuffers& b = BuffersFor(*size);
  const int32_t stride = StrideOf(*size);
  const quorbix::PixelFormat format = FormatOf(*size);
  for (auto _ : state) {
    // Every run starts from the same unfiltered image and cache state.
    state.PauseTiming();
    std::memcpy(b.pixels.data(), b.original.data(), b.pixels.size());
    state.ResumeTiming();
    switch (run) {
      case FilterRun::kTwoPass:
        testbmp::ReferenceGlow(b.pixels.data(), b.glow.data(), size->width, size->height, stride,
                               format.pixelBytes, format.keptByte);
        break;
      case FilterRun::kMemcpy:
        std::memcpy(b.copy.data(), b.pixels.data(), b.pixels.size());
        break;
      default:
        quorbix::ApplyGlowFilterOnPath(static_cast<quorbix::GlowPath>(static_cast<int>(run) - 1),
                                       b.pixels.data(), b.glow.data(), size->width,
                                       size->height, stride, format);
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * b.pixels.size()));
}

// ---- whole files ----

std::string g_directory;

std::string InputFile(const ImageSize& size) { return g_directory + "/" + size.name + ".bmp"; }

void WriteInputFile(const ImageSize& size) {
  const testbmp::Bytes file =
      testbmp::File(size.width, size.height,
                    testbmp::RandomPixels(StrideOf(size), size.height, 5),
                    static_cast<uint16_t>(size.bitCount));
  FILE* out = std::fopen(InputFile(size).c_str(), "wb");
  if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size() ||
      std::fclose(out) != 0) {
    std::fprintf(stderr, "cannot write %s\n", InputFile(size).c_str());
    std::exit(1);
  }
}

bool ReadAll(int fd, uint8_t* into, size_t size) {
  for (size_t done = 0; done < size;) {
    const ssize_t got = read(fd, into + done, size - done);
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  for (size_t done = 0; done < size;) {
    const ssize_t put = write(fd, data + done, size - done);
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

// The I/O any program doing this job does: read the file whole into memory,
// write it whole to a temporary file, flush that to stable storage when
// `durable` (as BMPGlow does before it replaces an existing file) and rename
// it over the output. The buffer comes from malloc or, as the library takes
// it, from huge pages (mapped on a 2 MiB boundary with MADV_HUGEPAGE). With
// `glowBytes`, a second huge-page block of that size is mapped, first written
// once per page and released between the read and the write, as BMPGlow's
// glow buffer is: the memory the design needs, without the filter.
constexpr size_t kHugePage = size_t{2} << 20;

uint8_t* MapHugePages(size_t size, void** mapping) {
  *mapping = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                  -1, 0);
  if (*mapping == MAP_FAILED) return nullptr;
  const uintptr_t address = reinterpret_cast<uintptr_t>(*mapping);
  uint8_t* block = static_cast<uint8_t*>(*mapping) + (kHugePage - address % kHugePage) % kHugePage;
  madvise(block, size, MADV_HUGEPAGE);
  return block;
}

bool TouchFreshBlock(size_t size) {
  void* mapping = nullptr;
  uint8_t* block = MapHugePages(size, &mapping);
  if (block == nullptr) return false;
  for (size_t at = 0; at < size; at += 4096) block[at] = 1;
  benchmark::ClobberMemory();
  munmap(mapping, size + kHugePage);
  return true;
}

struct CopyKind {
  bool hugePages, durable;
  size_t glowBytes;
};

bool CopyThroughMemory(const std::string& input, const std::string& output, const CopyKind& kind) {
  const int in = open(input.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info;
  if (in < 0 || fstat(in, &info) != 0) return false;
  const size_t size = static_cast<size_t>(info.st_size);
  void* mapping = nullptr;
  uint8_t* buffer = kind.hugePages ? MapHugePages(size, &mapping)
                                   : static_cast<uint8_t*>(std::malloc(size));
  bool ok = buffer != nullptr && ReadAll(in, buffer, size);
  close(in);
  ok = ok && (kind.glowBytes == 0 || TouchFreshBlock(kind.glowBytes));
  const std::string temporary = output + ".tmp";
  const int out = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  ok = ok && out >= 0 && WriteAll(out, buffer, size) && (!kind.durable || fsync(out) == 0);
  if (out >= 0) ok = close(out) == 0 && ok;
  ok = ok && rename(temporary.c_str(), output.c_str()) == 0;
  if (!kind.hugePages) std::free(buffer);
  if (kind.hugePages && buffer != nullptr) munmap(mapping, size + kHugePage);
  return ok;
}

long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_minflt;
}

enum class FileRun {
  kBMPGlow,
  kIoHugePages,
  kIoDurable,
  kIoDurableHugePages,
  kIoDurableHugePagesGlow,
  kOpenCv
};

bool RunOnce(FileRun run, const std::string& input, const std::string& output,
             const std::u16string& input16, const std::u16string& output16, size_t pixelBytes) {
  switch (run) {
    case FileRun::kBMPGlow:
      return BMPGlow(input16.c_str(), output16.c_str()) == QUORBIXBMPGLOW_SUCCESS;
    case FileRun::kIoHugePages:
      return CopyThroughMemory(input, output, {true, false, 0});
    case FileRun::kIoDurable:
      return CopyThroughMemory(input, output, {false, true, 0});
    case FileRun::kIoDurableHugePages:
      return CopyThroughMemory(input, output, {true, true, 0});
    case FileRun::kIoDurableHugePagesGlow:
      return CopyThroughMemory(input, output, {true, true, pixelBytes});
    case FileRun::kOpenCv:
#if defined(QBG_BENCH_OPENCV)
    {
      // imread, 3x3 box blur, saturating add into the interior, imwrite.
      cv::Mat image = cv::imread(input, cv::IMREAD_UNCHANGED);
      cv::Mat blurred;
      cv::blur(image, blurred, cv::Size(3, 3));
      const cv::Rect interior(1, 1, image.cols - 2, image.rows - 2);
      cv::Mat target = image(interior);
      cv::add(target, blurred(interior), target);
      return cv::imwrite(output, image);
    }
#endif
      break;
  }
  return false;
}

void WholeFile(benchmark::State& state, FileRun run, const ImageSize* size) {
  const std::string input = InputFile(*size);
  const std::string output = g_directory + "/" + size->name + "-" + std::to_string(int(run)) + ".bmp";
  const std::u16string input16 = Utf16(input), output16 = Utf16(output);
  const size_t pixelBytes = PixelBytes(*size);
  // One untimed call first, so that every timed call finds what a call in a
  // batch finds: the output in place and memory that the previous call just
  // freed. Memory left free for a while is handed back to the hypervisor on
  // this kind of machine, and the first write to each of its pages then costs
  // 20 to 30 times the kernel's zeroing; without this call that cost landed
  // on whichever benchmark came first after a pause, and the medians drifted
  // by a factor of 3 from run to run.
  if (!RunOnce(run, input, output, input16, output16, pixelBytes)) {
    state.SkipWithError("the call failed");
    return;
  }
  const long faultsBefore = MinorFaults();
  for (auto _ : state) {
    if (!RunOnce(run, input, output, input16, output16, pixelBytes)) {
      state.SkipWithError("the call failed");
    }
  }
  // Page faults per call: a few hundred when the buffers got huge pages,
  // tens of thousands when they fell back to 4 KiB pages.
  state.counters["faults"] = benchmark::Counter(static_cast<double>(MinorFaults() - faultsBefore),
                                                benchmark::Counter::kAvgIterations);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * pixelBytes));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // BMPGlow prints a status line per call: the progress goes to stderr and
  // standard output is silenced.
  benchmark::ConsoleReporter console;
  console.SetOutputStream(&std::cerr);
  console.SetErrorStream(&std::cerr);
  if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;

  char pattern[] = "/tmp/qbg-bench-XXXXXX";
  const char* directory = std::getenv("QBG_BENCH_DIR");
  if (directory == nullptr) directory = mkdtemp(pattern);
  if (directory == nullptr) return 1;
  g_directory = directory;

  static const char* const kFilterNames[] = {"two-pass", "portable", "sse2", "avx2", "neon",
                                              "memcpy"};
  for (const ImageSize& size : kFilterSizes) {
    for (int run = 0; run < 6; ++run) {
      if (run >= 1 && run <= 4 &&
          !quorbix::GlowPathAvailable(static_cast<quorbix::GlowPath>(run - 1))) {
        continue;
      }
      const std::string name = std::string("filter/") + kFilterNames[run] + "/" + size.name;
      benchmark::RegisterBenchmark(name.c_str(), Filter, static_cast<FilterRun>(run), &size)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
  static const char* const kFileNames[] = {
      "BMPGlow", "io-hugepages", "io-durable", "io-durable-hugepages", "io-durable-hugepages-glow",
      "opencv"};
  for (const ImageSize& size : kFileSizes) {
    WriteInputFile(size);
    for (int run = 0; run < 6; ++run) {
#if !defined(QBG_BENCH_OPENCV)
      if (static_cast<FileRun>(run) == FileRun::kOpenCv) continue;
#endif
      const std::string name = std::string("file/") + kFileNames[run] + "/" + size.name;
      benchmark::RegisterBenchmark(name.c_str(), WholeFile, static_cast<FileRun>(run), &size)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
#if defined(QBG_BENCH_OPENCV)
  cv::setNumThreads(1);
#endif
  benchmark::RunSpecifiedBenchmarks(&console);
  benchmark::Shutdown();
  if (std::getenv("QBG_BENCH_DIR") == nullptr) {
    const std::string cleanup = "rm -rf '" + g_directory + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
  }
  return 0;
}
