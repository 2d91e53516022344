// bench_runstat: runs one command and writes its wall time, its user and
// system CPU time (seconds, microsecond resolution) and its peak resident
// memory (KiB) as one line "wall user sys peak_kib" to the file given with
// -o. The benchmark scripts use it instead of /usr/bin/time, whose CPU
// times are rounded to 10 ms, too coarse for rips of a few tens of ms.
//
//   bench_runstat -o FILE -- COMMAND [ARGS...]
//
// Exits with the command's exit status (127 when it cannot be started).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
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

int Usage() {
  std::fprintf(stderr, "usage: bench_runstat -o FILE -- COMMAND [ARGS...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || std::strcmp(argv[1], "-o") != 0 || std::strcmp(argv[3], "--") != 0)
    return Usage();
  const char* out = argv[2];
  double start = Now();
  pid_t child = fork();
  if (child < 0) {
    std::perror("bench_runstat: fork");
    return 127;
  }
  if (child == 0) {
    execvp(argv[4], argv + 4);
    std::fprintf(stderr, "bench_runstat: cannot run %s: %s\n", argv[4], std::strerror(errno));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  while (wait4(child, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      std::perror("bench_runstat: wait4");
      return 127;
    }
  }
  double wall = Now() - start;
  FILE* f = std::fopen(out, "w");
  if (!f) {
    std::perror("bench_runstat: output file");
    return 127;
  }
  std::fprintf(f, "%.6f %.6f %.6f %ld\n", wall, Seconds(usage.ru_utime), Seconds(usage.ru_stime),
               usage.ru_maxrss);
  std::fclose(f);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
