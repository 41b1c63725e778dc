// The BMP file and info headers as raw records, and the pixel-array layout
// derived from them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorbix {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;
constexpr size_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;
// The layout check reads no further into a file than this: the headers and
// the three 4-byte colour masks that may follow them. A caller reads these
// first and the pixel array only once the check accepted it.
constexpr size_t kLayoutPrefixSize = kHeadersSize + 12;

// The headers are kept exactly as stored (little-endian, packed) and written
// back byte for byte; fields are read from the bytes, never from a C struct
// whose alignment could differ from the file's.
struct BITMAPFILEHEADER {
  uint8_t bytes[kFileHeaderSize];
};
struct BITMAPINFOHEADER {
  uint8_t bytes[kInfoHeaderSize];
};

// Field offsets within their record.
constexpr size_t kOffsetOfBfOffBits = 10;
constexpr size_t kOffsetOfBiWidth = 4;
constexpr size_t kOffsetOfBiHeight = 8;
constexpr size_t kOffsetOfBiBitCount = 14;

uint32_t ReadPixelOffset(const BITMAPFILEHEADER& fileHeader);  // bfOffBits
int32_t ReadWidthField(const BITMAPINFOHEADER& infoHeader);    // biWidth
int32_t ReadHeightField(const BITMAPINFOHEADER& infoHeader);   // biHeight
uint16_t ReadBitCount(const BITMAPINFOHEADER& infoHeader);     // biBitCount

// Where the pixel array lies in the file and how it is shaped.
struct PixelLayout {
  uint32_t pixelOffset;  // bfOffBits
  int32_t width;         // |biWidth|
  int32_t height;        // |biHeight|
  int32_t stride;        // bytes per stored row, a multiple of 4
  int32_t pixelSize;     // stride * height
};

// Why a file was refused; kAccepted when it can be glowed safely.
enum class LayoutVerdict {
  kAccepted,
  kTruncatedHeaders,     // shorter than the 54 header bytes
  kDimensionIsInt32Min,  // |INT32_MIN| is not a 32-bit value
  kRowSizeOverflow,      // width * biBitCount + 31 does not fit in 32 bits
  kPixelSizeOverflow,    // stride * height does not fit in 32 bits
  kRowsTooShort,         // fewer than 3 bytes per pixel
  kTruncatedPixels,      // the file stops before its last pixel
};

// Reads the headers from `prefix`, the first `prefixSize` bytes of a file of
// `fileSize` bytes (all of them, or at least kLayoutPrefixSize), and derives
// the layout. Every size is checked in 64-bit arithmetic, since the header's
// values are hostile until proven otherwise. When accepted, the file holds
// every pixel byte except perhaps the fill bytes after the last row's
// pixels, so pixelOffset + pixelSize <= fileSize + 3.
LayoutVerdict ComputePixelLayout(const uint8_t* prefix, size_t prefixSize, uint64_t fileSize,
                                 PixelLayout* layout);

}  // namespace quorbix
