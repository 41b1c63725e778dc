// bmpglow: glows BMP files from the command line through the library: one
// file into another (either may be standard input or output), or many files
// at once into a directory or into themselves.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "CommandLine.h"
#include "QuorbixBMPGlow.h"
#include "QuorbixBMPGlowVersion.h"
#include "Utf8ToUtf16.h"

namespace {

constexpr char kSynopsis[] =
    "Usage: bmpglow [OPTION]... INPUT OUTPUT\n"
    "  or:  bmpglow [OPTION]... -o DIR FILE...\n"
    "  or:  bmpglow [OPTION]... --in-place FILE...\n";

// Every option here is also in the manual page (cli/bmpglow.1.in); a test
// checks that both list the same.
constexpr char kHelpText[] =
    "Adds a glow to 24- and 32-bit BMP images: every interior pixel gains the\n"
    "mean of its 3x3 neighbourhood, saturating at 255; the outermost rows and\n"
    "columns stay as they are, as does a 32-bit pixel's alpha or unused byte.\n"
    "\n"
    "The first form glows INPUT into OUTPUT, which may be the same file; either\n"
    "may be -, for standard input or standard output. The second glows each FILE\n"
    "into DIR under its own base name; the third glows each FILE into itself.\n"
    "\n"
    "  -o, --output-dir=DIR  glow each FILE into DIR, an existing directory\n"
    "      --in-place        glow each FILE into itself\n"
    "  -j, --jobs=N          glow up to N files at once (default: one per processor)\n"
    "  -q, --quiet           print no status lines\n"
    "      --progress        show a progress bar on standard error\n"
    "      --no-progress     show none (the default unless standard error is a\n"
    "                        terminal)\n"
    "  -h, --help            show this help and exit\n"
    "  -V, --version         show the version and exit\n"
    "\n"
    "The library prints one status line per file on standard output, or on\n"
    "standard error when INPUT or OUTPUT is -. With -o or --in-place, each file\n"
    "that fails is named on standard error with the library's reason, and a\n"
    "summary follows there. Ctrl-C starts no further file; those in flight finish.\n"
    "\n"
    "Exit status: 0 when every file was glowed, 1 when any could not be (the\n"
    "others are still glowed), 2 on a usage error, 130 when interrupted.\n";

constexpr int kMaxJobs = 1024;

int UsageError(const std::string& problem) {
  std::fprintf(stderr, "bmpglow: %s\n%sTry 'bmpglow --help' for more information.\n",
               problem.c_str(), kSynopsis);
  return 2;
}

// An argument in a message; options are ASCII, so anything else shows as '?'.
std::string Printable(const NativeChar* arg) {
  std::string text;
  for (const NativeChar* c = arg; *c != 0; ++c) {
    const auto code = static_cast<std::make_unsigned_t<NativeChar>>(*c);
    text += code < 0x80 ? static_cast<char>(code) : '?';
  }
  return text;
}

bool Equals(const NativeChar* arg, const char* text) {
  for (; *text != '\0'; ++arg, ++text) {
    if (*arg != static_cast<NativeChar>(*text)) return false;
  }
  return *arg == 0;
}

bool IsStandardStream(const NativeChar* arg) { return Equals(arg, "-"); }

// --- Options, parsed as GNU getopt_long does: short options may be
// combined (-qj2), values follow an option or its '=' (--jobs=2), long
// options may be abbreviated while unambiguous, options and operands may be
// mixed, and -- ends the options. ---

enum class OptionId {
  kOutputDir,
  kInPlace,
  kJobs,
  kQuiet,
  kProgress,
  kNoProgress,
  kHelp,
  kVersion,
};

struct OptionSpec {
  char shortName;  // '\0': long only
  const char* longName;
  bool takesValue;
  OptionId id;
};

constexpr OptionSpec kOptions[] = {
    {'o', "output-dir", true, OptionId::kOutputDir},
    {'\0', "in-place", false, OptionId::kInPlace},
    {'j', "jobs", true, OptionId::kJobs},
    {'q', "quiet", false, OptionId::kQuiet},
    {'\0', "progress", false, OptionId::kProgress},
    {'\0', "no-progress", false, OptionId::kNoProgress},
    {'h', "help", false, OptionId::kHelp},
    {'V', "version", false, OptionId::kVersion},
};

struct Options {
  const NativeChar* outputDir = nullptr;
  bool inPlace = false;
  int jobs = 0;  // 0: one per processor
  bool quiet = false;
  int progress = -1;  // -1: when standard error is a terminal
  std::vector<const NativeChar*> operands;
};

// kExit: --help or --version was answered, status 0.
enum class Parsed { kRun, kExit, kUsageError };

struct ParseState {
  Options* options;
  std::string problem;
};

bool ParseJobs(const NativeChar* value, int* jobs) {
  long count = 0;
  if (*value == 0) return false;
  for (const NativeChar* c = value; *c != 0; ++c) {
    if (*c < '0' || *c > '9') return false;
    count = count * 10 + (*c - '0');
    if (count > kMaxJobs) return false;
  }
  if (count < 1) return false;
  *jobs = static_cast<int>(count);
  return true;
}

Parsed Apply(const OptionSpec& option, const NativeChar* value, ParseState* state) {
  Options& options = *state->options;
  switch (option.id) {
    case OptionId::kOutputDir:
      options.outputDir = value;
      break;
    case OptionId::kInPlace:
      options.inPlace = true;
      break;
    case OptionId::kJobs:
      if (!ParseJobs(value, &options.jobs)) {
        state->problem = "invalid number of jobs '" + Printable(value) + "' (1 to " +
                         std::to_string(kMaxJobs) + ")";
        return Parsed::kUsageError;
      }
      break;
    case OptionId::kQuiet:
      options.quiet = true;
      break;
    case OptionId::kProgress:
      options.progress = 1;
      break;
    case OptionId::kNoProgress:
      options.progress = 0;
      break;
    case OptionId::kHelp:
      std::printf("%s%s", kSynopsis, kHelpText);
      return Parsed::kExit;
    case OptionId::kVersion:
      std::printf("bmpglow (QuorbixBMPGlow) %s\n", QUORBIXBMPGLOW_VERSION_STRING);
      return Parsed::kExit;
  }
  return Parsed::kRun;
}

// The option named by `name` (up to '=' or the end), exactly or by an
// unambiguous prefix; null after setting the problem.
const OptionSpec* FindLongOption(const NativeChar* name, size_t length, ParseState* state) {
  const OptionSpec* found = nullptr;
  int prefixMatches = 0;
  for (const OptionSpec& option : kOptions) {
    const size_t optionLength = std::strlen(option.longName);
    if (length > optionLength) continue;
    bool matches = true;
    for (size_t i = 0; i < length && matches; ++i) {
      matches = name[i] == static_cast<NativeChar>(option.longName[i]);
    }
    if (!matches) continue;
    if (length == optionLength) return &option;
    found = &option;
    ++prefixMatches;
  }
  const std::string shown = "--" + Printable(NativeString(name, length).c_str());
  if (prefixMatches == 1) return found;
  state->problem = prefixMatches == 0 ? "unknown option " + shown : "ambiguous option " + shown;
  return nullptr;
}

Parsed ParseLongOption(int argc, NativeChar** argv, int* i, ParseState* state) {
  const NativeChar* name = argv[*i] + 2;
  const NativeChar* equals = name;
  while (*equals != 0 && *equals != '=') ++equals;
  const OptionSpec* option = FindLongOption(name, static_cast<size_t>(equals - name), state);
  if (option == nullptr) return Parsed::kUsageError;
  const std::string shown = std::string("--") + option->longName;
  if (!option->takesValue) {
    if (*equals == '=') {
      state->problem = "option " + shown + " takes no value";
      return Parsed::kUsageError;
    }
    return Apply(*option, nullptr, state);
  }
  if (*equals == '=') return Apply(*option, equals + 1, state);
  if (*i + 1 >= argc) {
    state->problem = "option " + shown + " needs a value";
    return Parsed::kUsageError;
  }
  return Apply(*option, argv[++*i], state);
}

Parsed ParseShortOptions(int argc, NativeChar** argv, int* i, ParseState* state) {
  for (const NativeChar* c = argv[*i] + 1; *c != 0; ++c) {
    const OptionSpec* option = nullptr;
    for (const OptionSpec& candidate : kOptions) {
      if (candidate.shortName != '\0' && *c == static_cast<NativeChar>(candidate.shortName)) {
        option = &candidate;
      }
    }
    const NativeChar letter[2] = {*c, 0};
    if (option == nullptr) {
      state->problem = "unknown option -" + Printable(letter);
      return Parsed::kUsageError;
    }
    if (!option->takesValue) {
      const Parsed parsed = Apply(*option, nullptr, state);
      if (parsed != Parsed::kRun) return parsed;
      continue;
    }
    if (c[1] != 0) return Apply(*option, c + 1, state);  // -j4
    if (*i + 1 >= argc) {
      state->problem = "option -" + Printable(letter) + " needs a value";
      return Parsed::kUsageError;
    }
    return Apply(*option, argv[++*i], state);
  }
  return Parsed::kRun;
}

Parsed ParseArguments(int argc, NativeChar** argv, ParseState* state) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const NativeChar* arg = argv[i];
    Parsed parsed = Parsed::kRun;
    if (optionsEnded || arg[0] != '-' || arg[1] == 0) {
      state->options->operands.push_back(arg);  // "-" is an operand
    } else if (Equals(arg, "--")) {
      optionsEnded = true;
    } else if (arg[1] == '-') {
      parsed = ParseLongOption(argc, argv, &i, state);
    } else {
      parsed = ParseShortOptions(argc, argv, &i, state);
    }
    if (parsed != Parsed::kRun) return parsed;
  }
  return Parsed::kRun;
}

// --- The two-path form ---

void ReportUnusablePath(const NativeChar* arg) {
  std::fprintf(stderr, "bmpglow: " QBG_NATIVE " %s\n", arg, kUnusablePathReason);
}

bool CopyDescriptor(int from, int to) {
  char buffer[1 << 16];
  for (;;) {
    const long got = static_cast<long>(read(from, buffer, sizeof buffer));
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR && !Interrupted()) continue;
      return false;
    }
    for (long done = 0; done < got;) {
      const auto rest = static_cast<unsigned>(got - done);
      const long put = static_cast<long>(write(to, buffer + done, rest));
      if (put < 0 && errno == EINTR && !Interrupted()) continue;
      if (put <= 0) return false;
      done += put;
      // Ctrl-C during a write that had already put some bytes through ends it
      // short instead of with EINTR: the copy stops all the same, rather than
      // block again on a reader that does not read.
      if (done < got && Interrupted()) return false;
    }
  }
}

bool CopyFileToDescriptor(const NativeString& path, int to) {
  const int from = OpenForCopy(path, false);
  if (from < 0) return false;
  const bool copied = CopyDescriptor(from, to);
  return close(from) == 0 && copied;
}

bool CopyDescriptorToFile(int from, const NativeString& path) {
  const int to = OpenForCopy(path, true);
  if (to < 0) return false;
  const bool copied = CopyDescriptor(from, to);
  return close(to) == 0 && copied;
}

// Runs one library call with its status line sent to `target` (a
// descriptor) instead of standard output; target -1 leaves it there.
int32_t GlowWithStatusTo(int target, const LibraryPath& input, const LibraryPath& output) {
  if (target < 0) return BMPGlow(input.c_str(), output.c_str());
  std::fflush(stdout);
  const int saved = dup(1);
  if (saved < 0 || dup2(target, 1) < 0) {  // the line must not reach standard output
    std::fprintf(stderr, "bmpglow: cannot move the status line: %s\n", std::strerror(errno));
    if (saved >= 0) close(saved);
    return QUORBIXBMPGLOW_FAILURE;
  }
  const int32_t status = BMPGlow(input.c_str(), output.c_str());
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  return status;
}

int OpenNullDevice() {
#if defined(_WIN32)
  return _wopen(L"NUL", _O_WRONLY);
#else
  return open("/dev/null", O_WRONLY | O_CLOEXEC);
#endif
}

// `bmpglow INPUT OUTPUT`. A - is standard input or output: the library
// works on named files, so the image passes through a temporary file in a
// private directory, and the status line goes to standard error so that it
// cannot mix with an image on standard output.
int RunTwoPaths(const NativeChar* inputArg, const NativeChar* outputArg, bool quiet) {
  const bool fromStandardInput = IsStandardStream(inputArg);
  const bool toStandardOutput = IsStandardStream(outputArg);
  NativeString inputName = inputArg, outputName = outputArg, directory;
  NativeString temporaries[2];
  size_t temporaryCount = 0;
  if (fromStandardInput || toStandardOutput) {
    PrepareStandardStreams();
    if (!MakeTemporaryDirectory(&directory)) {
      std::fprintf(stderr, "bmpglow: cannot create a temporary directory: %s\n",
                   std::strerror(errno));
      return 1;
    }
    const NativeChar kInputName[] = {'i', 'n', '.', 'b', 'm', 'p', 0};
    const NativeChar kOutputName[] = {'o', 'u', 't', '.', 'b', 'm', 'p', 0};
    const NativeString base = directory + kPathSeparator;
    if (fromStandardInput) inputName = temporaries[temporaryCount++] = base + kInputName;
    if (toStandardOutput) outputName = temporaries[temporaryCount++] = base + kOutputName;
  }
  int status = 1;
  LibraryPath input, output;
  if (fromStandardInput && !CopyDescriptorToFile(0, inputName)) {
    if (!Interrupted()) std::fprintf(stderr, "bmpglow: cannot read standard input\n");
  } else if (!ToLibraryPath(inputName.c_str(), &input)) {
    ReportUnusablePath(inputName.c_str());
  } else if (!ToLibraryPath(outputName.c_str(), &output)) {
    ReportUnusablePath(outputName.c_str());
  } else {
    const int nullDevice = quiet ? OpenNullDevice() : -1;
    const int statusTarget =
        nullDevice >= 0 ? nullDevice : (fromStandardInput || toStandardOutput) ? 2 : -1;
    const bool glowed = GlowWithStatusTo(statusTarget, input, output) == QUORBIXBMPGLOW_SUCCESS;
    if (nullDevice >= 0) close(nullDevice);
    status = glowed ? 0 : 1;
    if (glowed && toStandardOutput && !CopyFileToDescriptor(outputName, 1)) {
      if (!Interrupted()) std::fprintf(stderr, "bmpglow: cannot write standard output\n");
      status = 1;
    }
  }
  if (!directory.empty()) RemoveTemporaries(directory, temporaries, temporaryCount);
  return Interrupted() ? ExitInterrupted() : status;
}

// --- The many-file forms ---

// The part of `path` after its last separator, trailing separators aside.
NativeString BaseName(const NativeChar* path) {
  NativeString name = path;
  while (name.size() > 1 && IsPathSeparator(name.back())) name.pop_back();
  size_t start = name.size();
  while (start > 0 && !IsPathSeparator(name[start - 1])) --start;
#if defined(_WIN32)
  if (start == 0 && name.size() >= 2 && name[1] == ':') start = 2;  // C:photo.bmp
#endif
  return name.substr(start);
}

// The first file whose key equals an earlier one's, or null.
const NativeChar* FindClash(const std::vector<const NativeChar*>& files,
                            NativeString (*key)(const NativeChar*)) {
  std::vector<std::pair<NativeString, size_t>> keys;
  keys.reserve(files.size());
  for (size_t i = 0; i < files.size(); ++i) keys.emplace_back(key(files[i]), i);
  std::sort(keys.begin(), keys.end());
  const NativeChar* clash = nullptr;
  size_t clashIndex = files.size();
  for (size_t i = 1; i < keys.size(); ++i) {
    if (keys[i].first == keys[i - 1].first && keys[i].second < clashIndex) {
      clashIndex = keys[i].second;
      clash = files[clashIndex];
    }
  }
  return clash;
}

NativeString BaseNameKeyOf(const NativeChar* file) { return BaseNameKey(BaseName(file)); }

int RunBatchForm(const Options& options) {
  if (options.operands.empty()) return UsageError("no FILE to glow");
  for (const NativeChar* file : options.operands) {
    if (IsStandardStream(file)) return UsageError("- names a file only in the form INPUT OUTPUT");
  }
  BatchPlan plan{options.operands, options.outputDir, options.jobs};
  if (plan.outputDir != nullptr) {
    if (!IsDirectory(plan.outputDir)) {
      return UsageError("'" + Printable(plan.outputDir) + "' is not a directory");
    }
    if (const NativeChar* clash = FindClash(plan.files, BaseNameKeyOf)) {
      return UsageError("two FILEs are named '" + Printable(BaseName(clash).c_str()) +
                        "': both would be glowed into one file");
    }
  } else if (const NativeChar* clash = FindClash(plan.files, FileIdentity)) {
    return UsageError("'" + Printable(clash) + "' is named twice");
  }
  if (plan.jobs == 0) plan.jobs = std::max(1, ProcessorCount());
  if (static_cast<size_t>(plan.jobs) > plan.files.size()) {
    plan.jobs = static_cast<int>(plan.files.size());
  }

  BatchTally tally{};
  const bool progress = options.progress < 0 ? IsTerminal(2) : options.progress == 1;
  StartBatch(&tally, plan.files.size(), options.quiet, progress);
  const bool finished = RunBatch(plan, &tally);
  const int status = FinishBatch(&tally, !finished);
  return finished ? status : ExitInterrupted();
}

int Run(int argc, NativeChar** argv) {
  PrepareSignals();
  Options options;
  ParseState state{&options, {}};
  switch (ParseArguments(argc, argv, &state)) {
    case Parsed::kExit:
      return 0;
    case Parsed::kUsageError:
      return UsageError(state.problem);
    case Parsed::kRun:
      break;
  }
  if (options.outputDir != nullptr && options.inPlace) {
    return UsageError("-o and --in-place exclude each other");
  }
  if (options.outputDir != nullptr || options.inPlace) return RunBatchForm(options);
  if (options.operands.size() != 2) return UsageError("expected exactly two paths");
  return RunTwoPaths(options.operands[0], options.operands[1], options.quiet);
}

}  // namespace

#if defined(_WIN32)
const char kUnusablePathReason[] = "cannot be passed to the library";
#else
const char kUnusablePathReason[] = "is not valid UTF-8; the library takes UTF-16 paths";
#endif

#if defined(_WIN32)
// Windows hands the program its arguments in UTF-16, the library's form.
bool ToLibraryPath(const wchar_t* arg, LibraryPath* path) {
  *path = arg;
  return true;
}
#else
bool ToLibraryPath(const char* arg, LibraryPath* path) {
  path->clear();
  return quorbix::Utf8ToUtf16(arg, path);
}
#endif

FileOutcome GlowBatchFile(const BatchPlan& plan, size_t index) {
  const NativeChar* file = plan.files[index];
  NativeString output = file;
  if (plan.outputDir != nullptr) {
    output = plan.outputDir;
    if (!output.empty() && !IsPathSeparator(output.back())) output += kPathSeparator;
    output += BaseName(file);
  }
  FileOutcome outcome{FileResult::kUnusablePath, 0, {}, 0};
  LibraryPath input, outputPath;
  if (!ToLibraryPath(file, &input) || !ToLibraryPath(output.c_str(), &outputPath)) return outcome;
  if (!FileSize(file, &outcome.bytes)) outcome.bytes = 0;
  const int32_t status = BMPGlow(input.c_str(), outputPath.c_str());
  outcome.result = status == QUORBIXBMPGLOW_SUCCESS ? FileResult::kGlowed : FileResult::kFailed;
  return outcome;
}

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) { return Run(argc, argv); }
#else
int main(int argc, char** argv) {
  // A standard descriptor that the caller closed is opened on /dev/null:
  // otherwise the next descriptor opened here (a worker's socket) would take
  // its number, and lines meant for standard output or error would go there.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
  }
  // A write past a file-size limit then fails with EFBIG and is reported,
  // rather than ending the program part way through.
  std::signal(SIGXFSZ, SIG_IGN);
  return Run(argc, argv);
}
#endif
