// POSIX file access: whole-file reads and replace-by-rename writes.
#include "FileAccess.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ImageBuffer.h"

namespace quorbix {
namespace {

// A stream (FIFO, device) has no size to read up to; beyond this it is refused
// so that an endless source cannot hold a call forever or exhaust memory.
constexpr size_t kMaxStreamBytes = size_t{1} << 31;
constexpr size_t kStreamChunk = size_t{1} << 16;
constexpr int kMaxSymlinkHops = 40;

// Reads until `size` bytes arrived or end of file; returns the count, or -1.
ssize_t ReadFully(int fd, uint8_t* into, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t got = read(fd, into + done, size - done);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(done);
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

// A regular file: one read of its size as fstat gives it. A file that shrank
// since yields what it holds now.
bool ReadRegularFile(int fd, uint64_t statSize, size_t zeroTail, FileContents* contents) {
  if (statSize > SIZE_MAX - zeroTail || statSize > PTRDIFF_MAX - zeroTail) return false;
  const size_t capacity = static_cast<size_t>(statSize) + zeroTail;
  uint8_t* bytes = AllocateImageBuffer(capacity, false);
  if (bytes == nullptr) return false;
  const ssize_t got = ReadFully(fd, bytes, static_cast<size_t>(statSize));
  if (got < 0) {
    ReleaseImageBuffer(bytes, capacity);
    return false;
  }
  const size_t size = static_cast<size_t>(got);
  std::memset(bytes + size, 0, capacity - size);
  *contents = FileContents{bytes, size, capacity};
  return true;
}

// A stream: read in chunks into a growing block, up to kMaxStreamBytes.
bool ReadStream(int fd, size_t zeroTail, FileContents* contents) {
  size_t capacity = kStreamChunk + zeroTail;
  uint8_t* bytes = AllocateImageBuffer(capacity, false);
  size_t size = 0;
  while (bytes != nullptr) {
    if (capacity - zeroTail == size) {
      if (size >= kMaxStreamBytes) break;
      const size_t grown = size * 2 + zeroTail;
      uint8_t* larger = AllocateImageBuffer(grown, false);
      if (larger != nullptr) std::memcpy(larger, bytes, size);
      ReleaseImageBuffer(bytes, capacity);
      bytes = larger;
      capacity = grown;
      continue;
    }
    const ssize_t got = ReadFully(fd, bytes + size, capacity - zeroTail - size);
    if (got < 0) break;
    size += static_cast<size_t>(got);
    if (got == 0 || size < capacity - zeroTail) {  // end of stream
      std::memset(bytes + size, 0, capacity - size);
      *contents = FileContents{bytes, size, capacity};
      return true;
    }
  }
  ReleaseImageBuffer(bytes, capacity);
  return false;
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

uint64_t NextRandom() {
  // 32 bits: 64-bit atomics need libatomic on processors without them (ARMv5).
  static std::atomic<uint32_t> counter{0};
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t x = uint64_t{counter.fetch_add(1, std::memory_order_relaxed)} ^
               static_cast<uint64_t>(now.tv_nsec) ^ static_cast<uint64_t>(now.tv_sec) << 32 ^
               static_cast<uint64_t>(getpid()) << 16;
  // splitmix64 finaliser: spreads the bits so names differ in every position.
  x += 0x9E3779B97F4A7C15u;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  return x ^ (x >> 31);
}

// Creates a new, empty temporary file beside `target`: ".<name>.<random>.tmp"
// (the name shortened so that the whole stays a valid file name). The mode
// 0666 is reduced by the umask in the kernel, which avoids reading the
// process-wide umask (not thread-safe).
int CreateTemporaryBeside(const std::string& target, std::string* temporaryPath) {
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  const std::string prefix = DirectoryOf(target) + "/." + BaseNameOf(target).substr(0, 120) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint64_t random = NextRandom();
    std::string name = prefix;
    for (int i = 0; i < 10; ++i, random /= 36) name += kDigits[random % 36];
    name += ".tmp";
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0) {
      *temporaryPath = name;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Devices and FIFOs cannot be renamed over: they are written in place. A
// FIFO without a reader fails at once instead of blocking the call.
bool WriteInPlace(const std::string& target, const uint8_t* data, size_t size) {
  const int fd = open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  const int flags = fcntl(fd, F_GETFL);
  bool ok = flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
  ok = ok && WriteFully(fd, data, size);
  ok = close(fd) == 0 && ok;
  return ok;
}

}  // namespace

bool ReadWholeFile(const NativePathChar* path, size_t zeroTail, FileContents* contents) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct stat info;
  bool ok = false;
  if (fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode)) {
    ok = S_ISREG(info.st_mode)
             ? ReadRegularFile(fd, static_cast<uint64_t>(info.st_size), zeroTail, contents)
             : ReadStream(fd, zeroTail, contents);
  }
  close(fd);
  return ok;
}

void ReleaseFileContents(FileContents* contents) {
  ReleaseImageBuffer(contents->bytes, contents->capacity);
  *contents = FileContents{nullptr, 0, 0};
}

bool ReplaceFileContents(const NativePathChar* path, const uint8_t* data, size_t size) {
  std::string target;
  if (!ResolveReplacementTarget(path, &target)) return false;

  struct stat existing;
  const bool exists = stat(target.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) return false;
  if (exists && !S_ISREG(existing.st_mode)) return WriteInPlace(target, data, size);

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
