// peakrss FILE COMMAND [ARG...]: runs the command and writes its peak
// resident memory in kB to FILE. A child of this small process starts with a
// fresh peak; one forked straight from a large test process would inherit
// that process's.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

int main(int argc, char *argv[]) {
  if (argc < 3) return 2;
  const pid_t pid = fork();
  if (pid < 0) return 2;
  if (pid == 0) {
    execv(argv[2], argv + 2);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  FILE *file = fopen(argv[1], "w");
  if (file == nullptr) return 2;
  fprintf(file, "%ld\n", usage.ru_maxrss);
  fclose(file);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
