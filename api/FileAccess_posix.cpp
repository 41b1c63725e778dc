// POSIX file access: whole-file reads and replace-by-rename writes.
#include "FileAccess.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileReading.h"

namespace quorbix {
namespace {

constexpr int kMaxSymlinkHops = 40;

// Reads from the descriptor at `source` until `size` bytes arrived or end
// of file; false on a read error.
bool ReadFully(void* source, uint8_t* into, size_t size, size_t* got) {
  const int fd = *static_cast<int*>(source);
  size_t done = 0;
  while (done < size) {
    const ssize_t count = read(fd, into + done, size - done);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(count);
  }
  *got = done;
  return true;
}

bool WriteFully(int fd, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t put = write(fd, data + done, size - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (put == 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links at `path` (not in its directories, which the kernel
// resolves itself) to the file that a write should replace. A dangling link
// resolves to the missing file it names, which is then created.
bool ResolveReplacementTarget(const std::string& path, std::string* target) {
  std::string current = path;
  for (int hop = 0; hop < kMaxSymlinkHops; ++hop) {
    struct stat info;
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      *target = current;
      return true;
    }
    std::string link(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
    const ssize_t length = readlink(current.c_str(), &link[0], link.size());
    if (length < 0 || static_cast<size_t>(length) >= link.size()) return false;
    link.resize(static_cast<size_t>(length));
    current = link[0] == '/' ? link : DirectoryOf(current) + "/" + link;
  }
  return false;  // a loop of links
}

uint64_t NextEntropy() {
  // 32 bits: 64-bit atomics need libatomic on processors without them (ARMv5).
  static std::atomic<uint32_t> counter{0};
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint64_t{counter.fetch_add(1, std::memory_order_relaxed)} ^
         static_cast<uint64_t>(now.tv_nsec) ^ static_cast<uint64_t>(now.tv_sec) << 32 ^
         static_cast<uint64_t>(getpid()) << 16;
}

// Creates a new, empty temporary file beside `target`: ".<name>.<random>.tmp"
// (the name shortened so that the whole stays a valid file name). The mode
// 0666 is reduced by the umask in the kernel, which avoids reading the
// process-wide umask (not thread-safe).
int CreateTemporaryBeside(const std::string& target, std::string* temporaryPath) {
  const std::string prefix = DirectoryOf(target) + "/." + BaseNameOf(target).substr(0, 120) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    char digits[kRandomNameDigits];
    RandomNameDigits(NextEntropy(), digits);
    const std::string name = prefix + std::string(digits, kRandomNameDigits) + ".tmp";
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0) {
      *temporaryPath = name;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Opens without waiting for the other end of a FIFO (one without a writer
// then reads as empty; one without a reader fails) or for a device to get
// ready, then makes reads and writes block as usual. -1 on failure.
int OpenWithoutWaiting(const char* path, int flags) {
  const int fd = open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  const int status = fcntl(fd, F_GETFL);
  if (status < 0 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Devices and FIFOs cannot be renamed over: they are written in place.
bool WriteInPlace(const std::string& target, const uint8_t* data, size_t size) {
  const int fd = OpenWithoutWaiting(target.c_str(), O_WRONLY);
  if (fd < 0) return false;
  bool ok = WriteFully(fd, data, size);
  ok = close(fd) == 0 && ok;
  return ok;
}

}  // namespace

bool ReadWholeFile(const NativePathChar* path, size_t zeroTail, FileContents* contents) {
  // A FIFO that no program writes would otherwise hold the call forever.
  const int fd = OpenWithoutWaiting(path, O_RDONLY);
  if (fd < 0) return false;
  struct stat info;
  bool ok = false;
  if (fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode)) {
    int source = fd;
    ok = S_ISREG(info.st_mode) ? ReadSizedFile(ReadFully, &source,
                                               static_cast<uint64_t>(info.st_size), zeroTail,
                                               contents)
                               : ReadStream(ReadFully, &source, zeroTail, contents);
  }
  close(fd);
  return ok;
}

bool ReplaceFileContents(const NativePathChar* path, const uint8_t* data, size_t size) {
  std::string target;
  if (!ResolveReplacementTarget(path, &target)) return false;

  struct stat existing;
  const bool exists = stat(target.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) return false;
  if (exists && !S_ISREG(existing.st_mode)) return WriteInPlace(target, data, size);
  // A file the caller may not write is not replaced either, although the
  // directory would allow the rename: its read-only mode protects it.
  if (exists && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return false;

  std::string temporary;
  const int fd = CreateTemporaryBeside(target, &temporary);
  if (fd < 0) return false;
  bool ok = true;
  if (exists) {
    // The replacement keeps the permissions (and, where allowed, the owner)
    // of the file it replaces.
    ok = fchmod(fd, existing.st_mode & 07777) == 0;
    if (ok && (existing.st_uid != geteuid() || existing.st_gid != getegid())) {
      (void)!fchown(fd, existing.st_uid, existing.st_gid);  // best effort, as for any copy
    }
  }
  ok = ok && WriteFully(fd, data, size);
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temporary.c_str());
  return ok;
}

}  // namespace quorbix
