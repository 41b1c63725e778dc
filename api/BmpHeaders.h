// The BMP file and info headers as raw records, and the pixel-array layout
// derived from them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "GlowFilter.h"

namespace quorbix {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;
constexpr size_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;

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
constexpr size_t kOffsetOfBiCompression = 16;

// biCompression values whose 32-bit pixels are described by colour masks.
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;
// The red, green and blue masks of such a file: 12 bytes at file offset 54,
// inside a larger info header or right after a 40-byte one.
constexpr size_t kColourMasksOffset = kHeadersSize;
constexpr size_t kColourMasksSize = 12;
// The file's first bytes from which its layout is decided.
constexpr size_t kLayoutHeadSize = kColourMasksOffset + kColourMasksSize;

uint32_t ReadPixelOffset(const BITMAPFILEHEADER& fileHeader);  // bfOffBits
int32_t ReadWidthField(const BITMAPINFOHEADER& infoHeader);    // biWidth
int32_t ReadHeightField(const BITMAPINFOHEADER& infoHeader);   // biHeight
uint16_t ReadBitCount(const BITMAPINFOHEADER& infoHeader);     // biBitCount
uint32_t ReadCompression(const BITMAPINFOHEADER& infoHeader);  // biCompression

// Where the pixel array lies in the file and how it is shaped.
struct PixelLayout {
  uint32_t pixelOffset;  // bfOffBits
  int32_t width;         // |biWidth|
  int32_t height;        // |biHeight|
  int32_t stride;        // bytes per stored row, a multiple of 4
  int32_t pixelSize;     // stride * height
  PixelFormat format;    // 3-byte pixels (24 bits) or 4-byte ones (32 bits)
};

// Why a file was refused; kAccepted when it can be glowed safely.
enum class LayoutVerdict {
  kAccepted,
  kTruncatedHeaders,     // shorter than the 54 header bytes
  kDimensionIsInt32Min,  // |INT32_MIN| is not a 32-bit value
  kRowSizeOverflow,      // width * biBitCount + 31 does not fit in 32 bits
  kPixelSizeOverflow,    // stride * height does not fit in 32 bits
  kUnsupportedBitCount,  // neither 24 nor 32 bits per pixel
  kColourMasksMissing,   // 32-bit with colour masks, but the file ends before them
  kColourMasksUnusable,  // masks that are not three different whole bytes
  kTruncatedPixels,      // the file stops before its last pixel
};

// Derives the layout of a file of `fileSize` bytes from its first bytes:
// `head` holds the first headSize of them, which must be the whole file or
// at least kLayoutHeadSize bytes (so a caller may pass the whole file or just
// a prefix read ahead). Every size is checked in 64-bit arithmetic, since the
// header's values are hostile until proven otherwise. When accepted, the
// file holds every pixel byte except perhaps the fill bytes after the last
// row's pixels, so pixelOffset + pixelSize <= fileSize + 3.
//
// Only 24- and 32-bit pixels are glowed: the filter needs whole bytes per
// channel, and narrower or wider pixels (palettes, 16-bit, 48- and 64-bit)
// would have bytes of different channels averaged together. A 32-bit pixel's
// fourth byte (alpha or unused) is byte 3, or with BI_BITFIELDS or
// BI_ALPHABITFIELDS the one byte that no colour mask names.
LayoutVerdict ComputePixelLayout(const uint8_t* head, size_t headSize, uint64_t fileSize,
                                 PixelLayout* layout);

}  // namespace quorbix
