#include "PathConversion.h"

#include <cstdint>

namespace quorbix {
namespace {

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Encodes one code point as UTF-8 at `out`; returns the bytes written (1-4).
size_t EncodeUtf8(char32_t code, char* out) {
  if (code < 0x80) {
    out[0] = static_cast<char>(code);
    return 1;
  }
  if (code < 0x800) {
    out[0] = static_cast<char>(0xC0 | code >> 6);
    out[1] = static_cast<char>(0x80 | (code & 0x3F));
    return 2;
  }
  if (code < 0x10000) {
    out[0] = static_cast<char>(0xE0 | code >> 12);
    out[1] = static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out[2] = static_cast<char>(0x80 | (code & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | code >> 18);
  out[1] = static_cast<char>(0x80 | (code >> 12 & 0x3F));
  out[2] = static_cast<char>(0x80 | (code >> 6 & 0x3F));
  out[3] = static_cast<char>(0x80 | (code & 0x3F));
  return 4;
}

}  // namespace

size_t Utf16Length(const char16_t* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

bool IsWellFormedPath(const char16_t* path) {
  if (path == nullptr || path[0] == 0) return false;
  for (size_t i = 0; path[i] != 0; ++i) {
    if (IsHighSurrogate(path[i]) && IsLowSurrogate(path[i + 1])) {
      ++i;
    } else if (IsHighSurrogate(path[i]) || IsLowSurrogate(path[i])) {
      return false;
    }
  }
  return true;
}

bool ConvertPathToNarrow(const char16_t* path, char* scratch, size_t scratchSize) {
  if (scratchSize == 0) return false;
  scratch[0] = '\0';
  if (!IsWellFormedPath(path)) return false;

  size_t written = 0;
  for (size_t i = 0; path[i] != 0; ++i) {
    char32_t code = path[i];
    if (IsHighSurrogate(code)) {  // paired, as checked above
      code = 0x10000 + ((code - 0xD800) << 10) + (char32_t{path[i + 1]} - 0xDC00);
      ++i;
    }
    // 4 bytes of room plus the terminator: never true for scratch of
    // NarrowPathScratchSize(units), but a short scratch must not overflow.
    if (scratchSize - written < 5) {
      scratch[0] = '\0';
      return false;
    }
    written += EncodeUtf8(code, scratch + written);
  }
  scratch[written] = '\0';
  return true;
}

}  // namespace quorbix
