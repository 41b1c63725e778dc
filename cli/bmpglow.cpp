// bmpglow: glows a BMP file from the command line through the library.
#include <csignal>
#include <cstdio>
#include <string>
#include <type_traits>

#include "QuorbixBMPGlow.h"
#include "QuorbixBMPGlowVersion.h"
#include "Utf8ToUtf16.h"

namespace {

constexpr char kUsage[] =
    "Usage: bmpglow [--] INPUT.bmp OUTPUT.bmp\n"
    "Adds a glow to a 24- or 32-bit BMP image: every interior pixel gains the\n"
    "mean of its 3x3 neighbourhood, saturating at 255; the outermost rows and\n"
    "columns stay as they are, as does a 32-bit pixel's alpha or unused byte.\n"
    "INPUT and OUTPUT may be the same file.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the library version and exit\n"
    "\n"
    "The library prints one status line. Exit status: 0 when the glow was\n"
    "written, 1 when a file could not be read or written, 2 on a usage error.\n";

int UsageError(const char* problem) {
  std::fprintf(stderr, "bmpglow: %s\n%s", problem, kUsage);
  return 2;
}

using LibraryPath = std::basic_string<QuorbixBMPGlowPathChar>;

#if defined(_WIN32)
// Windows hands the program its arguments in UTF-16, the library's form.
bool ToLibraryPath(const wchar_t* arg, LibraryPath* path) {
  *path = arg;
  return true;
}
void ReportUnusablePath(const wchar_t* arg) {
  std::fprintf(stderr, "bmpglow: %ls cannot be passed to the library\n", arg);
}
#else
bool ToLibraryPath(const char* arg, LibraryPath* path) { return quorbix::Utf8ToUtf16(arg, path); }
void ReportUnusablePath(const char* arg) {
  std::fprintf(stderr, "bmpglow: %s is not valid UTF-8; the library takes UTF-16 paths\n", arg);
}
#endif

// Whether `arg` is exactly the ASCII option `option`.
template <typename Char>
bool IsOption(const Char* arg, const char* option) {
  for (; *option != '\0'; ++arg, ++option) {
    if (*arg != static_cast<Char>(*option)) return false;
  }
  return *arg == 0;
}

template <typename Char>
int Run(int argc, Char** argv) {
  const Char* paths[2];
  int pathCount = 0;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const Char* arg = argv[i];
    if (!optionsEnded && arg[0] == '-' && arg[1] != 0) {
      if (IsOption(arg, "--")) {
        optionsEnded = true;
      } else if (IsOption(arg, "-h") || IsOption(arg, "--help")) {
        std::fputs(kUsage, stdout);
        return 0;
      } else if (IsOption(arg, "-V") || IsOption(arg, "--version")) {
        std::printf("bmpglow (QuorbixBMPGlow) %s\n", QUORBIXBMPGLOW_VERSION_STRING);
        return 0;
      } else {
        std::string name;  // options are ASCII; anything else shows as '?'
        for (const Char* c = arg; *c != 0; ++c) {
          const auto code = static_cast<std::make_unsigned_t<Char>>(*c);
          name += code < 0x80 ? static_cast<char>(code) : '?';
        }
        return UsageError(("unknown option " + name).c_str());
      }
      continue;
    }
    if (pathCount == 2) return UsageError("expected exactly two paths");
    paths[pathCount++] = arg;
  }
  if (pathCount != 2) return UsageError("expected exactly two paths");

  LibraryPath input, output;
  for (int i = 0; i < 2; ++i) {
    if (!ToLibraryPath(paths[i], i == 0 ? &input : &output)) {
      ReportUnusablePath(paths[i]);
      return 1;
    }
  }
  const int32_t status = BMPGlow(input.c_str(), output.c_str());
  return status == QUORBIXBMPGLOW_SUCCESS ? 0 : 1;
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) { return Run(argc, argv); }
#else
int main(int argc, char** argv) {
  // A write past a file-size limit then fails with EFBIG and is reported,
  // rather than ending the program part way through.
  std::signal(SIGXFSZ, SIG_IGN);
  return Run(argc, argv);
}
#endif
