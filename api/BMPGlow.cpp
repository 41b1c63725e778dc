// BMPGlow: the library's one exported operation.
#include "QuorbixBMPGlow.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "BmpHeaders.h"
#include "FileAccess.h"
#include "FileReading.h"
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

// A file's pixel array is held at the same place within a page as in the
// file, so that the kernel's copies between the page cache and the buffer
// stay aligned alike (otherwise they cost some 8% more per call here).
constexpr size_t kPageAlignment = 4096;

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

// The input as the call holds it: a stream whole, a file's pixel array alone
// (the bytes around it stay in the file until they are copied to the output).
struct InputImage {
  FileContents held;
  bool whole;          // held is the whole input, else the pixel array alone
  size_t pixelsAt;     // where in held.bytes the pixel array starts
  uint64_t fileSize;
  PixelLayout layout;
  uint8_t prefix[kLayoutHeadSize];  // a file's first bytes, as the check read them
  size_t prefixSize;
};

void ReleaseInputImage(InputImage* image) { ReleaseFileContents(&image->held); }

// Reads the headers and checks them before anything image-sized is read or
// allocated; then the pixel array, with zeros for missing last-row fill.
bool LoadInputImage(InputFile* input, InputImage* image) {
  *image = InputImage{FileContents{nullptr, 0, 0}, !input->sized, 0, 0, PixelLayout{}, {}, 0};
  if (image->whole) {
    if (!ReadStream(input, kMissingFillReserve, &image->held)) return false;
    image->fileSize = image->held.size;
    if (ComputePixelLayout(image->held.bytes, image->held.size, image->fileSize, &image->layout) !=
        LayoutVerdict::kAccepted) {
      return false;
    }
    image->pixelsAt = image->layout.pixelOffset;
    return true;
  }
  image->fileSize = input->size;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(input->size, kLayoutHeadSize));
  if (!ReadInput(input, 0, image->prefix, want, &image->prefixSize) ||
      ComputePixelLayout(image->prefix, image->prefixSize, input->size, &image->layout) !=
          LayoutVerdict::kAccepted) {
    return false;
  }
  const size_t pixelSize = static_cast<size_t>(image->layout.pixelSize);
  if (pixelSize == 0) return true;
  const uint64_t pixelOffset = image->layout.pixelOffset;
  image->pixelsAt = static_cast<size_t>(pixelOffset % kPageAlignment);
  const size_t blockSize = image->pixelsAt + pixelSize;
  uint8_t* const block = AllocateImageBuffer(blockSize, BlockUse::kFilledWhole);
  if (block == nullptr) return false;
  image->held = FileContents{block, blockSize, blockSize};
  uint8_t* const pixels = block + image->pixelsAt;
  // Accepted, the file holds all of it but perhaps the last row's fill.
  const size_t inFile = static_cast<size_t>(std::min<uint64_t>(pixelSize, input->size - pixelOffset));
  size_t got = 0;
  if (!ReadInput(input, pixelOffset, pixels, inFile, &got) || got != inFile) return false;
  std::memset(pixels + inFile, 0, pixelSize - inFile);
  return true;
}

// The output is the input with its pixel array glowed: everything around
// the pixels (colour tables, masks, larger headers, trailing profiles) is
// carried over, from memory or, for a file, copied from it by the kernel.
// The input is closed before the output is committed (Windows cannot
// replace a file that is open).
bool WriteOutputImage(const NativePathChar* path, InputFile* input, const InputImage& image) {
  const PixelLayout& layout = image.layout;
  const uint64_t pixelEnd = uint64_t{layout.pixelOffset} + static_cast<uint64_t>(layout.pixelSize);
  const uint64_t outputSize =
      layout.pixelSize > 0 ? std::max(image.fileSize, pixelEnd) : image.fileSize;
  Replacement output;
  if (!BeginReplacement(path, outputSize, input, &output)) return false;
  bool ok = true;
  if (image.whole) {
    ok = WriteReplacement(&output, image.held.bytes, static_cast<size_t>(outputSize));
  } else {
    // The bytes before the pixels: the headers alone, as a rule, which the
    // call holds already.
    const uint64_t head = layout.pixelSize > 0 ? layout.pixelOffset : image.fileSize;
    ok = head <= image.prefixSize
             ? WriteReplacement(&output, image.prefix, static_cast<size_t>(head))
             : CopyInputToReplacement(&output, input, 0, head);
    if (layout.pixelSize > 0) {
      ok = ok && WriteReplacement(&output, image.held.bytes + image.pixelsAt,
                                  static_cast<size_t>(layout.pixelSize));
      if (image.fileSize > pixelEnd) {
        ok = ok && CopyInputToReplacement(&output, input, pixelEnd, image.fileSize - pixelEnd);
      }
    }
  }
  CloseInputFile(input);
  if (!ok) {
    AbandonReplacement(&output);
    return false;
  }
  return CommitReplacement(&output);
}

int32_t GlowFile(const QuorbixBMPGlowPathChar* inputPath, const QuorbixBMPGlowPathChar* outputPath) {
  InputFile input;
  {
    const NativePath path = ToNativePath(inputPath);
    if (path == nullptr || !OpenInputFile(path.get(), &input)) {
      return Report(kInputFailed, QUORBIXBMPGLOW_FAILURE);
    }
  }
  std::unique_ptr<InputFile, void (*)(InputFile*)> inputGuard(&input, CloseInputFile);
  InputImage image;
  const bool loaded = LoadInputImage(&input, &image);
  std::unique_ptr<InputImage, void (*)(InputImage*)> imageGuard(&image, ReleaseInputImage);
  if (!loaded) return Report(kInputFailed, QUORBIXBMPGLOW_FAILURE);
  // A stream is held whole: it is closed before the output is opened.
  if (!input.sized) CloseInputFile(&input);

  if (image.layout.pixelSize > 0) {
    const size_t pixelSize = static_cast<size_t>(image.layout.pixelSize);
    uint8_t* glow = AllocateImageBuffer(pixelSize, BlockUse::kZeroedWhole);
    if (glow == nullptr) return Report(kInputFailed, QUORBIXBMPGLOW_FAILURE);
    ApplyGlowFilterInFormat(image.held.bytes + image.pixelsAt, glow, image.layout.width,
                            image.layout.height, image.layout.stride, image.layout.format);
    ReleaseImageBuffer(glow, pixelSize);
  }

  const NativePath output = ToNativePath(outputPath);
  if (output == nullptr || !WriteOutputImage(output.get(), &input, image)) {
    return Report(kOutputFailed, QUORBIXBMPGLOW_FAILURE);
  }
  return Report(kSucceeded, QUORBIXBMPGLOW_SUCCESS);
}

}  // namespace
}  // namespace quorbix

extern "C" QUORBIXBMPGLOW_API int32_t QUORBIXBMPGLOW_CALL BMPGlow(
    const QuorbixBMPGlowPathChar* inputPath, const QuorbixBMPGlowPathChar* outputPath) {
  // No exception may cross the C boundary. The call allocates nothing through
  // C++ (every block comes from malloc or mmap, checked), so none is
  // expected; the guard stays for safety.
  try {
    return quorbix::GlowFile(inputPath, outputPath);
  } catch (...) {
    return quorbix::Report(quorbix::kOutputFailed, QUORBIXBMPGLOW_FAILURE);
  }
}
