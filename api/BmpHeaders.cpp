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

LayoutVerdict ComputePixelLayout(const uint8_t* prefix, size_t prefixSize, uint64_t fileSize,
                                 PixelLayout* layout) {
  if (prefixSize < kHeadersSize || fileSize < kHeadersSize) return LayoutVerdict::kTruncatedHeaders;
  BITMAPFILEHEADER fileHeader;
  BITMAPINFOHEADER infoHeader;
  std::memcpy(fileHeader.bytes, prefix, kFileHeaderSize);
  std::memcpy(infoHeader.bytes, prefix + kFileHeaderSize, kInfoHeaderSize);

  const int32_t widthField = ReadWidthField(infoHeader);
  const int32_t heightField = ReadHeightField(infoHeader);
  constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();
  if (widthField == kInt32Min || heightField == kInt32Min) {
    return LayoutVerdict::kDimensionIsInt32Min;
  }
  const int64_t width = widthField < 0 ? -int64_t{widthField} : widthField;
  const int64_t height = heightField < 0 ? -int64_t{heightField} : heightField;
  const int64_t bitCount = ReadBitCount(infoHeader);
  constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

  const int64_t rowBitsRoundedUp = width * bitCount + 31;
  if (rowBitsRoundedUp > kInt32Max) return LayoutVerdict::kRowSizeOverflow;
  const int64_t stride = rowBitsRoundedUp / 32 * 4;
  const int64_t pixelSize = stride * height;
  if (pixelSize > kInt32Max) return LayoutVerdict::kPixelSizeOverflow;

  const int64_t pixelOffset = ReadPixelOffset(fileHeader);
  if (width > 0 && height > 0) {
    // The filter reads 3 bytes per pixel; narrower rows would let it run on.
    if (stride < 3 * width) return LayoutVerdict::kRowsTooShort;
    // Every pixel byte must be in the file; only the last row's fill may be
    // missing (some writers omit it).
    const int64_t lastRowPixelBytes = (width * bitCount + 7) / 8;
    const int64_t end = pixelOffset + (height - 1) * stride + lastRowPixelBytes;
    if (static_cast<uint64_t>(end) > fileSize) return LayoutVerdict::kTruncatedPixels;
  }

  layout->pixelOffset = static_cast<uint32_t>(pixelOffset);
  layout->width = static_cast<int32_t>(width);
  layout->height = static_cast<int32_t>(height);
  layout->stride = static_cast<int32_t>(stride);
  layout->pixelSize = static_cast<int32_t>(pixelSize);
  return LayoutVerdict::kAccepted;
}

}  // namespace quorbix
