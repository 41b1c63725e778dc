// bmpglow on POSIX systems: signals, terminals, files, and a batch run by
// worker processes.
//
// The library prints each call's status line on standard output, which all
// threads of a process share, so concurrent calls in one process could not
// tell whose line is whose. Each worker is therefore a process of its own,
// forked once, whose standard output is a pipe to bmpglow: it glows one file
// at a time, so everything that arrives on its pipe before it reports the
// call's status belongs to that file. Jobs (an index into the file list,
// which the worker shares from the fork) and results travel on a socket
// pair per worker.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CommandLine.h"

namespace {

// Ctrl-C presses so far (at most 2). The first lets the calls in flight
// finish; a second stops them: a batch kills its workers (RunBatch), a
// single call ends with the program at once.
volatile sig_atomic_t gInterrupts = 0;
volatile sig_atomic_t gBatchRunning = 0;

void OnInterrupt(int) {
  if (gInterrupts < 2) gInterrupts = gInterrupts + 1;
  if (gInterrupts == 2 && gBatchRunning == 0) _exit(130);
}

bool ReadWhole(int fd, void* data, size_t size) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t got = read(fd, bytes, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

// --- The worker pool ---

struct JobRecord {  // bmpglow to worker: the file's index in the plan
  uint64_t index;
};

struct ResultRecord {  // worker to bmpglow, after the call returned
  int32_t result;      // a FileResult
  int32_t reserved;
  uint64_t bytes;
};

constexpr size_t kNoJob = SIZE_MAX;

struct Worker {
  pid_t pid;
  int control;  // socket: jobs out, results in; -1 once closed
  int lines;    // the worker's standard output
  size_t job;   // the file it glows now, or kNoJob
};

[[noreturn]] void ServeJobs(const BatchPlan& plan, int control) {
#if defined(__GLIBC__)
  // Blocks under the library's own mapping size come from the heap: kept
  // there after each call (instead of going back to the kernel and coming
  // back as fresh pages to fault in and zero), the next file reuses them.
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  mallopt(M_TRIM_THRESHOLD, 8 << 20);
#endif
  JobRecord job{};
  while (ReadWhole(control, &job, sizeof job) && job.index < plan.files.size()) {
    const FileOutcome outcome = GlowBatchFile(plan, static_cast<size_t>(job.index));
    std::fflush(stdout);  // the library flushes; this keeps it so
    const ResultRecord result{static_cast<int32_t>(outcome.result), 0, outcome.bytes};
    if (send(control, &result, sizeof result, MSG_NOSIGNAL) != sizeof result) break;
  }
  _exit(0);
}

// Forks the worker for `slot`. SIGINT is blocked here, so a worker cannot be
// ended by Ctrl-C before it ignores it: it finishes its call instead.
bool StartWorker(const BatchPlan& plan, std::vector<Worker>* workers, size_t slot,
                 const sigset_t* unblocked) {
  int control[2], lines[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, control) != 0) return false;
  if (pipe2(lines, O_CLOEXEC) != 0) {
    close(control[0]);
    close(control[1]);
    return false;
  }
  std::fflush(stdout);  // nothing buffered may reach a worker's copy of stdout
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGINT, SIG_IGN);
    sigprocmask(SIG_SETMASK, unblocked, nullptr);
    // Other workers' ends stay with bmpglow alone, so that a worker sees the
    // end of its jobs when bmpglow closes its socket.
    for (const Worker& other : *workers) {
      if (other.control >= 0) close(other.control);
      if (other.lines >= 0) close(other.lines);
    }
    close(control[0]);
    close(lines[0]);
    if (dup2(lines[1], 1) < 0) _exit(1);
    close(lines[1]);
    ServeJobs(plan, control[1]);
  }
  close(control[1]);
  close(lines[1]);
  if (pid < 0) {
    close(control[0]);
    close(lines[0]);
    return false;
  }
  fcntl(lines[0], F_SETFL, fcntl(lines[0], F_GETFL) | O_NONBLOCK);
  (*workers)[slot] = Worker{pid, control[0], lines[0], kNoJob};
  return true;
}

// Everything the worker printed so far (its pipe never blocks bmpglow).
void DrainLines(const Worker& worker, std::string* lines) {
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(worker.lines, buffer, sizeof buffer);
    if (got > 0) {
      lines->append(buffer, static_cast<size_t>(got));
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      return;
    }
  }
}

// Closing its socket tells the worker to exit.
void CloseWorker(Worker* worker) {
  close(worker->control);
  close(worker->lines);
  worker->control = worker->lines = -1;
}

// Hands the worker the next file, or tells it to finish.
void Dispatch(Worker* worker, size_t* next, size_t total) {
  worker->job = kNoJob;
  if (gInterrupts != 0 || *next == total) {
    CloseWorker(worker);
    return;
  }
  const JobRecord job{*next};
  worker->job = (*next)++;
  // A worker that has died shows as the end of its socket: its file is then
  // counted as failed.
  (void)send(worker->control, &job, sizeof job, MSG_NOSIGNAL);
}

// Reads what the worker reports: its result, or the end of its socket if it
// died or was stopped (then it is waited for and its file, if any, counts as
// failed). False when the worker has gone.
bool CollectResult(const BatchPlan& plan, Worker* worker, bool stopping, BatchTally* tally) {
  ResultRecord result{};
  const bool reported = ReadWhole(worker->control, &result, sizeof result);
  FileOutcome outcome{static_cast<FileResult>(result.result), result.bytes, {}, 0};
  DrainLines(*worker, &outcome.lines);
  if (!reported) {
    CloseWorker(worker);
    int status = 0;
    while (waitpid(worker->pid, &status, 0) < 0 && errno == EINTR) {
    }
    worker->pid = -1;
    outcome.result = stopping ? FileResult::kStopped : FileResult::kAbnormalEnd;
    outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }
  if (worker->job != kNoJob) RecordOutcome(tally, plan.files[worker->job], outcome);
  worker->job = kNoJob;
  return reported;
}

// Ends the calls in flight at once; the library's outputs stay as they were.
void StopCalls(const std::vector<Worker>& workers) {
  for (const Worker& worker : workers) {
    if (worker.job != kNoJob) kill(worker.pid, SIGKILL);
  }
}

}  // namespace

void PrepareSignals() {
  // Started with SIGINT ignored (as a script starts a background job),
  // bmpglow is not meant to stop on Ctrl-C: it keeps ignoring it.
  struct sigaction inherited {};
  if (sigaction(SIGINT, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);  // no SA_RESTART: a blocked read returns
}

bool Interrupted() { return gInterrupts != 0; }

// Exit status 130 (128 + SIGINT, as a shell reports a program that SIGINT
// ended), once the calls in flight are done and reported.
int ExitInterrupted() {
  std::fflush(stdout);
  std::fflush(stderr);
  return 130;
}

int ProcessorCount() {
#if defined(__linux__)
  cpu_set_t cpus;
  if (sched_getaffinity(0, sizeof cpus, &cpus) == 0) return CPU_COUNT(&cpus);
#endif
  return static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
}

bool IsTerminal(int fd) { return isatty(fd) == 1; }

int TerminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

bool IsDirectory(const char* path) {
  struct stat info;
  return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

bool FileSize(const char* path, uint64_t* size) {
  struct stat info;
  if (stat(path, &info) != 0) return false;
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

NativeString FileIdentity(const char* path) {
  struct stat info;
  if (stat(path, &info) != 0) return std::string("name:") + path;
  return "file:" + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

NativeString BaseNameKey(const NativeString& baseName) { return baseName; }

bool IsPathSeparator(char c) { return c == '/'; }
const char kPathSeparator = '/';

bool MakeTemporaryDirectory(std::string* path) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                        "/bmpglow.XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) return false;
  *path = pattern;
  return true;
}

void RemoveTemporaries(const std::string& directory, const std::string* files, size_t count) {
  for (size_t i = 0; i < count; ++i) unlink(files[i].c_str());
  rmdir(directory.c_str());
}

int OpenForCopy(const std::string& path, bool writing) {
  const int flags = writing ? O_WRONLY | O_CREAT | O_EXCL : O_RDONLY;
  return open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, 0600);
}

void PrepareStandardStreams() { signal(SIGPIPE, SIG_IGN); }

bool RunBatch(const BatchPlan& plan, BatchTally* tally) {
  // SIGINT is taken only while waiting for the workers (ppoll), so that no
  // step between a check of the flag and the wait can miss it.
  sigset_t interrupt, previous;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  sigprocmask(SIG_BLOCK, &interrupt, &previous);
  sigset_t unblocked = previous;
  sigdelset(&unblocked, SIGINT);
  gBatchRunning = 1;

  const size_t total = plan.files.size();
  std::vector<Worker> workers(static_cast<size_t>(plan.jobs), Worker{-1, -1, -1, kNoJob});
  size_t started = 0;
  for (size_t slot = 0; slot < workers.size(); ++slot) {
    if (StartWorker(plan, &workers, slot, &unblocked)) ++started;
  }
  if (started == 0) {
    std::fprintf(stderr, "bmpglow: cannot start a worker process: %s\n", std::strerror(errno));
  }
  size_t next = 0;
  for (Worker& worker : workers) {
    if (worker.control >= 0) Dispatch(&worker, &next, total);
  }

  std::vector<pollfd> waiting;
  std::vector<size_t> slots;
  bool noted = false, stopping = false;
  const timespec redraw{0, static_cast<long>(std::chrono::nanoseconds(kProgressInterval).count())};
  for (;;) {
    waiting.clear();
    slots.clear();
    for (size_t slot = 0; slot < workers.size(); ++slot) {
      if (workers[slot].control < 0) continue;
      waiting.push_back(pollfd{workers[slot].control, POLLIN, 0});
      slots.push_back(slot);
    }
    if (waiting.empty()) break;
    const int ready = ppoll(waiting.data(), waiting.size(), tally->progress ? &redraw : nullptr,
                            &unblocked);
    if (ready < 0 && errno != EINTR) {
      std::fprintf(stderr, "bmpglow: waiting for the workers failed: %s\n", std::strerror(errno));
      StopCalls(workers);
      break;
    }
    // A SIGINT that came with a result stays pending (ppoll delivers it only
    // when nothing was ready): it is taken now, before any dispatch.
    sigset_t pending;
    if (sigpending(&pending) == 0 && sigismember(&pending, SIGINT) == 1) {
      sigprocmask(SIG_UNBLOCK, &interrupt, nullptr);
      sigprocmask(SIG_BLOCK, &interrupt, nullptr);
    }
    if (gInterrupts != 0 && !noted) {
      noted = true;
      NoteInterrupt(tally, static_cast<size_t>(std::count_if(
                               workers.begin(), workers.end(),
                               [](const Worker& w) { return w.job != kNoJob; })));
    }
    if (gInterrupts == 2 && !stopping) {
      stopping = true;
      StopCalls(workers);
    }
    for (size_t i = 0; ready > 0 && i < waiting.size(); ++i) {
      if (waiting[i].revents == 0) continue;
      Worker& worker = workers[slots[i]];
      if (CollectResult(plan, &worker, stopping, tally)) {
        Dispatch(&worker, &next, total);
      } else if (gInterrupts == 0 && next < total) {
        // Its replacement takes the remaining files.
        if (StartWorker(plan, &workers, slots[i], &unblocked)) {
          Dispatch(&workers[slots[i]], &next, total);
        }
      }
    }
    RefreshProgress(tally);
  }
  for (Worker& worker : workers) {
    if (worker.control >= 0) CloseWorker(&worker);
    if (worker.pid > 0) {
      while (waitpid(worker.pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }
  // Files never handed out, since no worker could be started, count as failed.
  for (; gInterrupts == 0 && next < total; ++next) {
    RecordOutcome(tally, plan.files[next], FileOutcome{FileResult::kNotStarted, 0, {}, 0});
  }
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  gBatchRunning = 0;
  return gInterrupts == 0;
}
