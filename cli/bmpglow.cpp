// bmpglow: glows a BMP file from the command line through the library.
#include <cstdio>
#include <cstring>
#include <string>

#include "QuorbixBMPGlow.h"
#include "QuorbixBMPGlowVersion.h"

namespace {

constexpr char kUsage[] =
    "Usage: bmpglow [--] INPUT.bmp OUTPUT.bmp\n"
    "Adds a glow to a 24-bit BMP image: every interior pixel gains the mean of\n"
    "its 3x3 neighbourhood, saturating at 255; the outermost rows and columns\n"
    "stay as they are. INPUT and OUTPUT may be the same file.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the library version and exit\n"
    "\n"
    "The library prints one status line. Exit status: 0 when the glow was\n"
    "written, 1 when a file could not be read or written, 2 on a usage error.\n";

// Decodes a UTF-8 argument to UTF-16. Returns false for bytes that are not
// UTF-8, since such a name cannot be passed to the library.
bool Utf8ToUtf16(const char* text, std::u16string* out) {
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

int UsageError(const char* problem) {
  std::fprintf(stderr, "bmpglow: %s\n%s", problem, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* paths[2];
  int pathCount = 0;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (!optionsEnded && arg[0] == '-' && arg[1] != '\0') {
      if (std::strcmp(arg, "--") == 0) {
        optionsEnded = true;
      } else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
      } else if (std::strcmp(arg, "-V") == 0 || std::strcmp(arg, "--version") == 0) {
        std::printf("bmpglow (QuorbixBMPGlow) %s\n", QUORBIXBMPGLOW_VERSION_STRING);
        return 0;
      } else {
        return UsageError((std::string("unknown option ") + arg).c_str());
      }
      continue;
    }
    if (pathCount == 2) return UsageError("expected exactly two paths");
    paths[pathCount++] = arg;
  }
  if (pathCount != 2) return UsageError("expected exactly two paths");

  std::u16string input, output;
  for (int i = 0; i < 2; ++i) {
    if (!Utf8ToUtf16(paths[i], i == 0 ? &input : &output)) {
      std::fprintf(stderr, "bmpglow: %s is not valid UTF-8; the library takes UTF-16 paths\n",
                   paths[i]);
      return 1;
    }
  }
  const int32_t status = BMPGlow(input.c_str(), output.c_str());
  return status == QUORBIXBMPGLOW_SUCCESS ? 0 : 1;
}
