// Runs one command and reports what it cost: wall time, CPU time (user and
// system) and peak resident memory, with the resolution the kernel keeps
// rather than the hundredths a shell's timer prints.
//   tralvo-measure RESULTFILE COMMAND [ARGUMENT...]
// appends "wall_seconds cpu_seconds peak_kib exit_status write_calls" to
// RESULTFILE; write_calls is the number of write system calls the command
// made (every kind of file and socket; -1 where the system does not say).
// The command's own output is left where the caller sent it.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

namespace {

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double Now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The kernel's count of write calls of a process that has exited but not
// yet been reaped.
long WriteCalls(pid_t pid) {
  std::ifstream io("/proc/" + std::to_string(pid) + "/io");
  std::string key;
  long value = 0;
  while (io >> key >> value)
    if (key == "syscw:") return value;
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: tralvo-measure RESULTFILE COMMAND [ARGUMENT...]\n");
    return 2;
  }
  double start = Now();
  pid_t child = fork();
  if (child < 0) {
    std::perror("fork");
    return 2;
  }
  if (child == 0) {
    execvp(argv[2], argv + 2);
    std::perror(argv[2]);
    _exit(127);
  }
  // Wait without reaping first, so the child's counters can still be read.
  siginfo_t info{};
  if (waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT) != 0) {
    std::perror("waitid");
    return 2;
  }
  double wall = Now() - start;
  long writeCalls = WriteCalls(child);
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) {
    std::perror("wait4");
    return 2;
  }
  int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::FILE* out = std::fopen(argv[1], "a");
  if (!out) {
    std::perror(argv[1]);
    return 2;
  }
  std::fprintf(out, "%.6f %.6f %ld %d %ld\n", wall,
               Seconds(usage.ru_utime) + Seconds(usage.ru_stime), usage.ru_maxrss, exitStatus,
               writeCalls);
  return std::fclose(out) == 0 ? 0 : 2;
}
