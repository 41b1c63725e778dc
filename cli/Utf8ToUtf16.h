// UTF-8 to UTF-16, the library's form of a path: bmpglow's arguments, and the
// paths of the tests and benchmarks.
#pragma once

#include <string>

namespace quorbix {

// Appends `text`, null-terminated UTF-8, to `out` as UTF-16. Returns false
// for bytes that are not UTF-8 (overlong forms and surrogates included),
// since such a name cannot be passed to the library.
inline bool Utf8ToUtf16(const char* text, std::u16string* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    char32_t code;
    int continuation;
    if (*p < 0x80) {
      code = *p;
      continuation = 0;
    } else if ((*p & 0xE0) == 0xC0) {
      code = *p & 0x1Fu;
      continuation = 1;
    } else if ((*p & 0xF0) == 0xE0) {
      code = *p & 0x0Fu;
      continuation = 2;
    } else if ((*p & 0xF8) == 0xF0) {
      code = *p & 0x07u;
      continuation = 3;
    } else {
      return false;
    }
    ++p;
    for (int i = 0; i < continuation; ++i, ++p) {
      if ((*p & 0xC0) != 0x80) return false;
      code = code << 6 | (*p & 0x3Fu);
    }
    static constexpr char32_t kSmallestOfLength[] = {0, 0x80, 0x800, 0x10000};
    const bool overlong = code < kSmallestOfLength[continuation];
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (overlong || surrogate || code > 0x10FFFF) return false;
    if (code >= 0x10000) {
      code -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(code));
    }
  }
  return true;
}

}  // namespace quorbix
