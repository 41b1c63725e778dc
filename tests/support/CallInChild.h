// BMPGlow in a forked child (POSIX), for calls that change process limits or
// identity, or that might hang.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "QuorbixBMPGlow.h"
#include "support/TestFiles.h"

namespace testfiles {

// Calls BMPGlow in a child process after `prepare` ran there (limits,
// identity); the child's standard output comes back through a pipe. A child
// that does not finish within 10 seconds is killed and reported as a hang;
// one that exits otherwise gives minus its exit code.
inline CallResult CallInChild(const std::string& input, const std::string& output,
                              const std::function<void()>& prepare = [] {}) {
  int lines[2];
  if (pipe(lines) != 0) return {-1, "no pipe"};
  std::fflush(stdout);
  const pid_t child = fork();
  if (child < 0) {
    close(lines[0]);
    close(lines[1]);
    return {-1, "no fork"};
  }
  if (child == 0) {
    alarm(10);
    close(lines[0]);
    dup2(lines[1], STDOUT_FILENO);
    prepare();
    const std::u16string in = Utf16(input), out = Utf16(output);
    const int32_t status = BMPGlow(in.c_str(), out.c_str());
    _exit(status == 999 ? 0 : status == 1 ? 1 : 2);
  }
  close(lines[1]);
  std::string printed;
  char chunk[256];
  ssize_t got;
  while ((got = read(lines[0], chunk, sizeof chunk)) > 0) {
    printed.append(chunk, static_cast<size_t>(got));
  }
  close(lines[0]);
  int wait = 0;
  waitpid(child, &wait, 0);
  if (WIFSIGNALED(wait)) return {-WTERMSIG(wait), printed + "(killed by signal)"};
  const int code = WEXITSTATUS(wait);
  return {code == 0 ? 999 : code == 1 ? 1 : -code, printed};
}

}  // namespace testfiles
