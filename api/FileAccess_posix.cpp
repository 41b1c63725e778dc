// POSIX (Linux) file access: inputs read at offsets or as streams, outputs
// replaced through a private temporary file or written in place.
#include "FileAccess.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "FileReading.h"

namespace quorbix {
namespace {

constexpr int kNoFile = -1;
constexpr size_t kNameBytes = sizeof(Replacement::targetName);
// The temporary file's name keeps at most this much of the output's name.
constexpr size_t kKeptNameBytes = 120;
constexpr size_t kMaxAttributeValue = 65536;  // the kernel's XATTR_SIZE_MAX
constexpr char kAccessAcl[] = "system.posix_acl_access";
// A kernel copy moves at most this much per call (some kernels stop at 2 GiB).
constexpr size_t kMaxCopyStep = size_t{1} << 30;

// Keeps errno across clean-up calls, so that a failure reports its cause.
struct ErrnoKept {
  int saved = errno;
  ~ErrnoKept() { errno = saved; }
};

void CloseIfOpen(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = kNoFile;
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

// Opens without waiting for the other end of a FIFO (one without a writer
// then reads as empty; one without a reader fails) or for a device to get
// ready, then makes reads and writes of those block as usual (the flag means
// nothing to a regular file). Stores what the file is in `info`. -1 on
// failure.
int OpenWithoutWaiting(const char* path, int flags, mode_t mode, struct stat* info) {
  const int fd = open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
  if (fd < 0) return kNoFile;
  bool ok = fstat(fd, info) == 0;
  if (ok && !S_ISREG(info->st_mode)) {
    const int status = fcntl(fd, F_GETFL);
    ok = status >= 0 && fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == 0;
  }
  if (!ok) {
    const ErrnoKept kept;
    close(fd);
    return kNoFile;
  }
  return fd;
}

// A regular file may grow only up to RLIMIT_FSIZE: a write beyond it would
// stop part way (and raise SIGXFSZ), so it is refused before it starts.
bool WithinFileSizeLimit(uint64_t size) {
  rlimit limit{};
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
      size <= limit.rlim_cur) {
    return true;
  }
  errno = EFBIG;
  return false;
}

// Opens the directory part of `path` and copies its last component into
// `name`. False when there is no usable last component or the directory
// cannot be opened.
bool OpenDirectoryAndName(const char* path, int* directory, char name[kNameBytes]) {
  const char* const slash = std::strrchr(path, '/');
  const char* const last = slash == nullptr ? path : slash + 1;
  const size_t length = std::strlen(last);
  const size_t directoryLength = slash == nullptr ? 0 : static_cast<size_t>(slash - path);
  if (length == 0 || length >= kNameBytes || directoryLength >= PATH_MAX) {
    errno = length == 0 ? ENOENT : ENAMETOOLONG;
    return false;
  }
  std::memcpy(name, last, length + 1);
  char where[PATH_MAX];
  if (slash == nullptr || slash == path) {
    std::strcpy(where, slash == nullptr ? "." : "/");
  } else {
    std::memcpy(where, path, directoryLength);
    where[directoryLength] = '\0';
  }
  *directory = open(where, O_PATH | O_DIRECTORY | O_CLOEXEC);
  return *directory >= 0;
}

// Whether `name` in `directory` is the file `info` describes.
bool NamesFile(int directory, const char* name, const struct stat& info) {
  struct stat entry;
  return fstatat(directory, name, &entry, AT_SYMLINK_NOFOLLOW) == 0 &&
         entry.st_dev == info.st_dev && entry.st_ino == info.st_ino;
}

// Finds the directory entry of the open file `fd`: the last component of
// `path` when it names the file itself, otherwise the name the kernel
// reached it by (`path` ended in a link, /dev/stdout or /proc/self/fd/N).
// Paths the kernel can open are shorter than PATH_MAX. False when the file
// has no name that can be verified (it was deleted, or moved meanwhile).
bool FindDirectoryEntry(const char* path, int fd, const struct stat& info, int* directory,
                        char name[kNameBytes]) {
  if (OpenDirectoryAndName(path, directory, name) && NamesFile(*directory, name, info)) return true;
  CloseIfOpen(directory);
  char link[32];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char buffer[PATH_MAX];
  const ssize_t got = readlink(link, buffer, sizeof buffer - 1);
  if (got <= 0 || buffer[0] != '/') return false;
  buffer[got] = '\0';
  if (OpenDirectoryAndName(buffer, directory, name) && NamesFile(*directory, name, info)) {
    return true;
  }
  CloseIfOpen(directory);
  return false;
}

// The id of the mount that the open file `fd` lies in, or -1: from statx
// (Linux 5.8 and later), else from /proc/self/fdinfo (Linux 3.15 and later).
// A 0 from statx counts as none: qemu-user reports the field and leaves it
// 0 (the kernel gives 0 only to the first mount of all, the boot rootfs).
long long MountIdOf(int fd) {
#if defined(STATX_MNT_ID)
  struct statx info;
  if (statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &info) == 0 && (info.stx_mask & STATX_MNT_ID) != 0 &&
      info.stx_mnt_id != 0) {
    return static_cast<long long>(info.stx_mnt_id);
  }
#endif
  char path[40];
  std::snprintf(path, sizeof path, "/proc/self/fdinfo/%d", fd);
  const int fdinfo = open(path, O_RDONLY | O_CLOEXEC);
  if (fdinfo < 0) return -1;
  char text[512];
  const ssize_t got = read(fdinfo, text, sizeof text - 1);
  close(fdinfo);
  text[got > 0 ? got : 0] = '\0';
  const char* const field = std::strstr(text, "mnt_id:");
  return field == nullptr ? -1 : std::strtoll(field + 7, nullptr, 10);
}

// Whether the file is mounted on its own (a bind mount, as containers use
// for single files): a rename in its directory cannot replace it.
bool MountedOnItsOwn(int fd, int directory) {
  const long long file = MountIdOf(fd), parent = MountIdOf(directory);
  if (file >= 0 && parent >= 0) return file != parent;
  struct stat fileInfo, parentInfo;  // without /proc: a mount of another file system
  return fstat(fd, &fileInfo) == 0 && fstat(directory, &parentInfo) == 0 &&
         fileInfo.st_dev != parentInfo.st_dev;
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

// Creates a new, empty temporary file ".<name>.<random>.tmp" in `directory`,
// with `mode` reduced by the umask (or the directory's default ACL) in the
// kernel. The name keeps at most kKeptNameBytes of `name`, cut before a
// character, never inside a UTF-8 sequence.
bool CreateTemporary(int directory, const char* name, mode_t mode, char temporaryName[kNameBytes],
                     int* fd) {
  size_t kept = strnlen(name, kKeptNameBytes);
  while (kept > 0 && (static_cast<unsigned char>(name[kept]) & 0xC0) == 0x80) --kept;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char digits[kRandomNameDigits];
    RandomNameDigits(NextEntropy(), digits);
    std::snprintf(temporaryName, kNameBytes, ".%.*s.%.*s.tmp", static_cast<int>(kept), name,
                  static_cast<int>(kRandomNameDigits), digits);
    *fd = openat(directory, temporaryName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (*fd >= 0) return true;
    if (errno != EEXIST) break;
  }
  temporaryName[0] = '\0';
  return false;
}

// Carries the extended attributes of `from` over to `to`: the access ACL
// (system.posix_acl_access), user.* and whatever else the caller may read,
// each or the call fails. An access ACL that `to` inherited from its
// directory's default ACL, where `from` has none, is removed.
bool CopyExtendedAttributes(int from, int to) {
  ssize_t listed = flistxattr(from, nullptr, 0);
  if (listed < 0) return errno == ENOTSUP;  // a file system without them
  bool ok = true, hadAcl = false;
  if (listed > 0) {
    // The names, then a value of each file.
    char* const names = static_cast<char*>(std::malloc(static_cast<size_t>(listed) + 2 * kMaxAttributeValue));
    if (names == nullptr) return false;
    char* const value = names + listed;
    char* const present = value + kMaxAttributeValue;
    listed = flistxattr(from, names, static_cast<size_t>(listed));
    ok = listed >= 0;
    for (ssize_t at = 0; ok && at < listed; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
      const char* const name = names + at;
      hadAcl = hadAcl || std::strcmp(name, kAccessAcl) == 0;
      const ssize_t size = fgetxattr(from, name, value, kMaxAttributeValue);
      ok = size >= 0;
      if (!ok) break;
      // Already there, as a security label given by policy may be.
      const ssize_t same = fgetxattr(to, name, present, kMaxAttributeValue);
      if (same == size && std::memcmp(value, present, static_cast<size_t>(size)) == 0) continue;
      ok = fsetxattr(to, name, value, static_cast<size_t>(size), 0) == 0;
    }
    std::free(names);
  }
  if (ok && !hadAcl && fremovexattr(to, kAccessAcl) != 0) ok = errno == ENODATA || errno == ENOTSUP;
  return ok;
}

// Gives the written temporary file `to` the protection of the file `from`
// it replaces. Owner and group first, so that no moment exists when the
// final mode applies to the wrong group: a caller other than root keeps the
// owner only when it is the caller, and a group it cannot give takes the
// group permissions with it. Then the ACL and other extended attributes, and
// the mode last.
bool CarryOverProtection(int from, int to) {
  struct stat replaced, written;
  if (fstat(from, &replaced) != 0 || fstat(to, &written) != 0) return false;
  mode_t mode = replaced.st_mode & 07777;
  if (written.st_uid != replaced.st_uid && fchown(to, replaced.st_uid, static_cast<gid_t>(-1)) != 0) {
    mode &= ~S_ISUID;
  }
  if (written.st_gid != replaced.st_gid && fchown(to, static_cast<uid_t>(-1), replaced.st_gid) != 0) {
    mode &= ~(S_ISGID | S_IRWXG);
  }
  return CopyExtendedAttributes(from, to) && fchmod(to, mode) == 0;
}

// The output is written where it is: overwritten from its start (a regular
// file is cut to the new length at the commit), or, when it is the input
// itself, only where the bytes change.
bool BeginInPlace(Replacement* replacement, const struct stat& info, const InputFile* input) {
  CloseIfOpen(&replacement->directory);
  replacement->fd = replacement->target;
  replacement->target = kNoFile;
  replacement->replacesExisting = false;
  replacement->placeholder = false;
  replacement->cutAtCommit = S_ISREG(info.st_mode);
  replacement->overInput = S_ISREG(info.st_mode) && input != nullptr && input->fd >= 0 &&
                           input->sized && input->device == info.st_dev &&
                           input->inode == info.st_ino;
  return true;
}

// The output exists, as `replacement->target`, which `info` describes: a
// temporary file beside it will replace it, unless it has to be written in
// place.
bool BeginOverFile(const char* path, uint64_t size, const InputFile* input, const struct stat& info,
                   Replacement* replacement) {
  if (!S_ISREG(info.st_mode)) return BeginInPlace(replacement, info, input);
  if (!WithinFileSizeLimit(size)) return false;
  if (info.st_nlink == 0 ||
      !FindDirectoryEntry(path, replacement->target, info, &replacement->directory,
                          replacement->targetName) ||
      MountedOnItsOwn(replacement->target, replacement->directory)) {
    return BeginInPlace(replacement, info, input);
  }
  // Private (0600) until it is finished and given the replaced file's
  // protection; a new file gets the mode any new file gets.
  const mode_t mode = replacement->placeholder ? 0666 : 0600;
  if (CreateTemporary(replacement->directory, replacement->targetName, mode,
                      replacement->temporaryName, &replacement->fd)) {
    replacement->replacesExisting = !replacement->placeholder;
    return true;
  }
  // A directory the caller may not write: the file itself may still be.
  if (errno == EACCES || errno == EPERM) return BeginInPlace(replacement, info, input);
  return false;
}

// Nothing exists at `path`, or a dangling link does.
bool BeginNewFile(const char* path, uint64_t size, const InputFile* input,
                  Replacement* replacement) {
  if (!WithinFileSizeLimit(size)) return false;
  struct stat link;
  if (lstat(path, &link) == 0 && S_ISLNK(link.st_mode)) {
    // The kernel's own creating open completes the link, under its
    // protections for links in shared sticky directories; the empty file it
    // makes (mode 0: nobody else's) stands in until it is replaced. If a file
    // appeared there meanwhile, that file is replaced as any other.
    struct stat made;
    replacement->target = OpenWithoutWaiting(path, O_WRONLY | O_CREAT, 0, &made);
    if (replacement->target < 0) return false;
    replacement->placeholder = S_ISREG(made.st_mode) && made.st_size == 0 &&
                               (made.st_mode & 07777) == 0 && made.st_uid == geteuid();
    return BeginOverFile(path, size, input, made, replacement);
  }
  return OpenDirectoryAndName(path, &replacement->directory, replacement->targetName) &&
         CreateTemporary(replacement->directory, replacement->targetName, 0666,
                         replacement->temporaryName, &replacement->fd);
}

// Removes the placeholder made through a dangling link, if it is still there.
void RemovePlaceholder(Replacement* replacement) {
  struct stat made;
  if (replacement->directory >= 0 && fstat(replacement->target, &made) == 0 &&
      NamesFile(replacement->directory, replacement->targetName, made)) {
    unlinkat(replacement->directory, replacement->targetName, 0);
  }
}

// Closes what the replacement holds; it is then finished.
void Release(Replacement* replacement) {
  CloseIfOpen(&replacement->fd);
  CloseIfOpen(&replacement->target);
  CloseIfOpen(&replacement->directory);
  replacement->temporaryName[0] = '\0';
  replacement->placeholder = false;
}

// One kernel copy step: copy_file_range between files on which it works,
// or sendfile, which also writes to pipes and devices.
ssize_t KernelCopyStep(bool useSendfile, int from, off_t* position, int to, size_t count) {
  return useSendfile ? sendfile(to, from, position, count)
                     : copy_file_range(from, position, to, nullptr, count, 0);
}

}  // namespace

bool OpenInputFile(const NativePathChar* path, InputFile* input) {
  *input = InputFile{kNoFile, false, 0, 0, 0};
  // A FIFO that no program writes would otherwise hold the call forever.
  struct stat info;
  const int fd = OpenWithoutWaiting(path, O_RDONLY, 0, &info);
  if (fd < 0) return false;
  if (S_ISDIR(info.st_mode)) {
    close(fd);
    return false;
  }
  const bool sized = S_ISREG(info.st_mode);
  *input = InputFile{fd, sized, sized ? static_cast<uint64_t>(info.st_size) : 0,
                     static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  return true;
}

void CloseInputFile(InputFile* input) { CloseIfOpen(&input->fd); }

bool ReadInput(InputFile* input, uint64_t offset, uint8_t* into, size_t size, size_t* got) {
  size_t done = 0;
  while (done < size) {
    const ssize_t count =
        input->sized ? pread(input->fd, into + done, size - done, static_cast<off_t>(offset + done))
                     : read(input->fd, into + done, size - done);
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

bool BeginReplacement(const NativePathChar* path, uint64_t size, const InputFile* input,
                      Replacement* replacement) {
  *replacement = Replacement{kNoFile, kNoFile, kNoFile, "", "", false, false, false, false};
  // The kernel resolves the path, links included, under its own protections,
  // and says whether the caller may write the file: a read-only output is
  // not replaced, since it could not be opened for writing. Nothing is
  // truncated yet.
  struct stat info;
  replacement->target = OpenWithoutWaiting(path, O_WRONLY, 0, &info);
  bool ok = replacement->target >= 0 ? BeginOverFile(path, size, input, info, replacement)
            : errno == ENOENT         ? BeginNewFile(path, size, input, replacement)
                                      : false;
  if (!ok) AbandonReplacement(replacement);
  return ok;
}

bool WriteReplacement(Replacement* replacement, const uint8_t* data, size_t size) {
  return WriteFully(replacement->fd, data, size);
}

bool CopyInputToReplacement(Replacement* replacement, InputFile* input, uint64_t offset,
                            uint64_t length) {
  // Over the input itself, the bytes are already where they belong.
  if (replacement->overInput) return lseek(replacement->fd, static_cast<off_t>(length), SEEK_CUR) >= 0;
  off_t position = static_cast<off_t>(offset);
  for (int method = 0; method < 2 && length > 0; ++method) {
    while (length > 0) {
      const size_t step = length < kMaxCopyStep ? static_cast<size_t>(length) : kMaxCopyStep;
      const ssize_t copied = KernelCopyStep(method == 1, input->fd, &position, replacement->fd, step);
      if (copied > 0) {
        length -= static_cast<uint64_t>(copied);
      } else if (copied < 0 && errno == EINTR) {
        continue;
      } else {
        break;  // not supported here (or 0, as some file systems answer): the next method
      }
    }
  }
  return CopyThroughBuffer(replacement, input, static_cast<uint64_t>(position), length);
}

bool CommitReplacement(Replacement* replacement) {
  bool ok = true;
  if (replacement->temporaryName[0] == '\0') {  // written in place
    if (replacement->cutAtCommit) {
      const off_t end = lseek(replacement->fd, 0, SEEK_CUR);
      ok = end >= 0 && ftruncate(replacement->fd, end) == 0;
    }
  } else if (replacement->replacesExisting) {
    // Flushed before the rename replaces anything, so that after a power
    // cut either the old or the new file is there, whole.
    ok = CarryOverProtection(replacement->target, replacement->fd) && fsync(replacement->fd) == 0;
  }
  ok = close(replacement->fd) == 0 && ok;
  replacement->fd = kNoFile;
  if (ok && replacement->temporaryName[0] != '\0') {
    ok = renameat(replacement->directory, replacement->temporaryName, replacement->directory,
                  replacement->targetName) == 0;
    if (ok) replacement->temporaryName[0] = '\0';
    replacement->placeholder = replacement->placeholder && !ok;
  }
  if (!ok) {
    AbandonReplacement(replacement);
    return false;
  }
  Release(replacement);
  return true;
}

void AbandonReplacement(Replacement* replacement) {
  const ErrnoKept kept;
  CloseIfOpen(&replacement->fd);
  if (replacement->temporaryName[0] != '\0') {
    unlinkat(replacement->directory, replacement->temporaryName, 0);
  }
  if (replacement->placeholder) RemovePlaceholder(replacement);
  Release(replacement);
}

}  // namespace quorbix
