#include "BmpHeaders.h"

#include <cstring>
#include <limits>

namespace quorbix {
namespace {

uint32_t LoadLittleEndian32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

uint32_t ReadPixelOffset(const BITMAPFILEHEADER& fileHeader) {
  // Offset 10 is not 4-byte aligned: assembled byte by byte.
  return LoadLittleEndian32(fileHeader.bytes + kOffsetOfBfOffBits);
}

int32_t ReadWidthField(const BITMAPINFOHEADER& infoHeader) {
  return static_cast<int32_t>(LoadLittleEndian32(infoHeader.bytes + kOffsetOfBiWidth));
}

int32_t ReadHeightField(const BITMAPINFOHEADER& infoHeader) {
  return static_cast<int32_t>(LoadLittleEndian32(infoHeader.bytes + kOffsetOfBiHeight));
}

uint16_t ReadBitCount(const BITMAPINFOHEADER& infoHeader) {
  const uint8_t* p = infoHeader.bytes + kOffsetOfBiBitCount;
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t ReadCompression(const BITMAPINFOHEADER& infoHeader) {
  return LoadLittleEndian32(infoHeader.bytes + kOffsetOfBiCompression);
}

namespace {

// The pixel format of a 32-bit image, or why its colour masks cannot be
// followed. Each of the three masks must be one whole byte of the pixel
// (0xFF, 0xFF00, 0xFF0000 or 0xFF000000), and no byte may be named twice;
// the byte left over is kept. `head` holds `available` bytes of the file.
LayoutVerdict ThirtyTwoBitFormat(const BITMAPINFOHEADER& infoHeader, const uint8_t* head,
                                 uint64_t available, PixelFormat* format) {
  const uint32_t compression = ReadCompression(infoHeader);
  if (compression != kBiBitfields && compression != kBiAlphaBitfields) {
    *format = FourBytePixels(3);
    return LayoutVerdict::kAccepted;
  }
  if (available < kLayoutHeadSize) return LayoutVerdict::kColourMasksMissing;
  unsigned namedBytes = 0;
  for (size_t m = 0; m < 3; ++m) {
    const uint32_t mask = LoadLittleEndian32(head + kColourMasksOffset + 4 * m);
    int byte = 0;
    while (byte < 4 && mask != uint32_t{0xFF} << (8 * byte)) ++byte;
    if (byte == 4 || (namedBytes & (1u << byte)) != 0) return LayoutVerdict::kColourMasksUnusable;
    namedBytes |= 1u << byte;
  }
  int kept = 0;
  while ((namedBytes & (1u << kept)) != 0) ++kept;
  *format = FourBytePixels(kept);
  return LayoutVerdict::kAccepted;
}

}  // namespace

LayoutVerdict ComputePixelLayout(const uint8_t* head, size_t headSize, uint64_t fileSize,
                                 PixelLayout* layout) {
  const uint64_t available = headSize < fileSize ? headSize : fileSize;
  if (available < kHeadersSize) return LayoutVerdict::kTruncatedHeaders;
  BITMAPFILEHEADER fileHeader;
  BITMAPINFOHEADER infoHeader;
  std::memcpy(fileHeader.bytes, head, kFileHeaderSize);
  std::memcpy(infoHeader.bytes, head + kFileHeaderSize, kInfoHeaderSize);

  // The pixel format comes first: a file refused for it is refused whatever
  // its dimensions.
  PixelFormat format = kThreeBytePixels;
  const uint16_t bitCountField = ReadBitCount(infoHeader);
  if (bitCountField == 32) {
    const LayoutVerdict verdict = ThirtyTwoBitFormat(infoHeader, head, available, &format);
    if (verdict != LayoutVerdict::kAccepted) return verdict;
  } else if (bitCountField != 24) {
    return LayoutVerdict::kUnsupportedBitCount;
  }

  const int32_t widthField = ReadWidthField(infoHeader);
  const int32_t heightField = ReadHeightField(infoHeader);
  constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();
  if (widthField == kInt32Min || heightField == kInt32Min) {
    return LayoutVerdict::kDimensionIsInt32Min;
  }
  const int64_t width = widthField < 0 ? -int64_t{widthField} : widthField;
  const int64_t height = heightField < 0 ? -int64_t{heightField} : heightField;
  const int64_t bitCount = bitCountField;
  constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

  const int64_t rowBitsRoundedUp = width * bitCount + 31;
  if (rowBitsRoundedUp > kInt32Max) return LayoutVerdict::kRowSizeOverflow;
  const int64_t stride = rowBitsRoundedUp / 32 * 4;
  const int64_t pixelSize = stride * height;
  if (pixelSize > kInt32Max) return LayoutVerdict::kPixelSizeOverflow;

  const int64_t pixelOffset = ReadPixelOffset(fileHeader);
  if (width > 0 && height > 0) {
    // Every pixel byte must be in the file; only the last row's fill may be
    // missing (some writers omit it).
    const int64_t lastRowPixelBytes = width * format.pixelBytes;
    const int64_t end = pixelOffset + (height - 1) * stride + lastRowPixelBytes;
    if (static_cast<uint64_t>(end) > fileSize) return LayoutVerdict::kTruncatedPixels;
  }

  layout->pixelOffset = static_cast<uint32_t>(pixelOffset);
  layout->width = static_cast<int32_t>(width);
  layout->height = static_cast<int32_t>(height);
  layout->stride = static_cast<int32_t>(stride);
  layout->pixelSize = static_cast<int32_t>(pixelSize);
  layout->format = format;
  return LayoutVerdict::kAccepted;
}

}  // namespace quorbix
