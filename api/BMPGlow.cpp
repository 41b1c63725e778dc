// BMPGlow: the library's one exported operation.
#include "QuorbixBMPGlow.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "BmpHeaders.h"
#include "FileAccess.h"
#include "GlowFilter.h"
#include "ImageBuffer.h"
#include "PathConversion.h"

namespace quorbix {
namespace {

constexpr char kInputFailed[] = "Failed to open input file.\n";
constexpr char kOutputFailed[] = "Failed to open output file.\n";
constexpr char kSucceeded[] = "Glow effect applied and saved to output.bmp\n";

// A file may omit the fill bytes after its last row's pixels (at most 3);
// the buffer keeps that many zero bytes in reserve so the output has them.
constexpr size_t kMissingFillReserve = 3;

int32_t Report(const char* line, int32_t status) {
  std::fputs(line, stdout);
  std::fflush(stdout);
  return status;
}

struct ScratchDeleter {
  void operator()(NativePathChar* scratch) const { std::free(scratch); }
};
using NativePath = std::unique_ptr<NativePathChar[], ScratchDeleter>;

// The caller's path in the platform's form, or null when it names no file
// (null, empty, an unpaired surrogate) or no scratch could be had.
NativePath ToNativePath(const QuorbixBMPGlowPathChar* path) {
  if (path == nullptr) return nullptr;
  const char16_t* units = reinterpret_cast<const char16_t*>(path);
  const size_t length = Utf16Length(units);
#if defined(_WIN32)
  // Windows names files in UTF-16 itself: the path is passed on unchanged
  // (a conversion to the ANSI code page would lose every character outside
  // it), once it is known to be well formed.
  if (!IsWellFormedPath(units)) return nullptr;
  NativePath scratch(static_cast<wchar_t*>(std::malloc((length + 1) * sizeof(wchar_t))));
  if (scratch != nullptr) std::memcpy(scratch.get(), path, (length + 1) * sizeof(wchar_t));
  return scratch;
#else
  const size_t scratchSize = NarrowPathScratchSize(length);
  NativePath scratch(static_cast<char*>(std::malloc(scratchSize)));
  if (scratch == nullptr || !ConvertPathToNarrow(units, scratch.get(), scratchSize)) {
    return nullptr;
  }
  return scratch;
#endif
}

int32_t GlowFile(const QuorbixBMPGlowPathChar* inputPath, const QuorbixBMPGlowPathChar* outputPath) {
  // Read the whole input and close it before the output is looked at, so
  // that both paths may name the same file.
  FileContents file{nullptr, 0, 0};
  {
    const NativePath input = ToNativePath(inputPath);
    if (input == nullptr || !ReadWholeFile(input.get(), kMissingFillReserve, &file)) {
      return Report(kInputFailed, QUORBIXBMPGLOW_FAILURE);
    }
  }
  std::unique_ptr<FileContents, void (*)(FileContents*)> fileGuard(&file, ReleaseFileContents);

  PixelLayout layout{};
  if (ComputePixelLayout(file.bytes, file.size, file.size, &layout) != LayoutVerdict::kAccepted) {
    return Report(kInputFailed, QUORBIXBMPGLOW_FAILURE);
  }

  // The output is the input's bytes with its pixel array filtered in place;
  // everything around the pixels (colour tables, masks, larger headers,
  // trailing profiles) is carried over. An empty pixel array changes nothing.
  size_t outputSize = file.size;
  if (layout.pixelSize > 0) {
    const size_t pixelSize = static_cast<size_t>(layout.pixelSize);
    const size_t pixelEnd = size_t{layout.pixelOffset} + pixelSize;
    if (pixelEnd > outputSize) outputSize = pixelEnd;  // at most the reserve
    uint8_t* glow = AllocateImageBuffer(pixelSize, BlockUse::kZeroedWhole);
    if (glow == nullptr) return Report(kInputFailed, QUORBIXBMPGLOW_FAILURE);
    ApplyGlowFilterInFormat(file.bytes + layout.pixelOffset, glow, layout.width, layout.height,
                            layout.stride, layout.format);
    ReleaseImageBuffer(glow, pixelSize);
  }

  const NativePath output = ToNativePath(outputPath);
  if (output == nullptr || !ReplaceFileContents(output.get(), file.bytes, outputSize)) {
    return Report(kOutputFailed, QUORBIXBMPGLOW_FAILURE);
  }
  return Report(kSucceeded, QUORBIXBMPGLOW_SUCCESS);
}

}  // namespace
}  // namespace quorbix

extern "C" QUORBIXBMPGLOW_API int32_t QUORBIXBMPGLOW_CALL BMPGlow(
    const QuorbixBMPGlowPathChar* inputPath, const QuorbixBMPGlowPathChar* outputPath) {
  // No exception may cross the C boundary; the library throws none itself,
  // but the standard library may fail to allocate a path.
  try {
    return quorbix::GlowFile(inputPath, outputPath);
  } catch (...) {
    return quorbix::Report(quorbix::kOutputFailed, QUORBIXBMPGLOW_FAILURE);
  }
}
