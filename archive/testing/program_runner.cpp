#include "archive/testing/program_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <cstdlib>
#include <stdexcept>
#include <chrono>
#include <thread>

namespace kestrel::testing {
namespace {

// Output goes to unlinked temporary files rather than pipes, so that neither stream can fill up
// and stall the program while the other is being read.
int AnonymousFile() {
  char name[] = "/tmp/kestrel-run-XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  unlink(name);
  return fd;
}

// A file size limit would hold the output files too, and a program under a limit of a few bytes
// could not say what went wrong. Under a limit the output goes through pipes that are drained while
// the program runs, as a terminal would take it.
struct OutputPipes {
  int out[2] = {-1, -1};
  int err[2] = {-1, -1};
  OutputPipes() {
    if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
  }
  void Drain(std::string& outText, std::string& errText) {
    close(out[1]);
    close(err[1]);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&outText, &errText};
    for (int open = 2; open > 0;) {
      if (poll(fds, 2, -1) < 0) break;
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        char buffer[4096];
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
          texts[i]->append(buffer, static_cast<size_t>(n));
        } else {
          close(fds[i].fd);
          fds[i].fd = -1;
          --open;
        }
      }
    }
  }
};

// The first number in `path` after `key` (the whole file's first number when `key` is empty).
uint64_t NumberIn(const char* path, const char* key) {
  FILE* file = std::fopen(path, "r");
  if (!file) return 0;
  char word[32];
  unsigned long long value = 0;
  uint64_t found = 0;
  if (!*key) {
    if (std::fscanf(file, "%llu", &value) == 1) found = value;
  } else {
    while (std::fscanf(file, "%31s %llu", word, &value) == 2)
      if (std::strcmp(word, key) == 0) found += value;
  }
  std::fclose(file);
  return found;
}

// Readable while the process is a zombie, so also how far it got in all.
ProgramProgress ProgressOf(pid_t pid) {
  char path[64];
  ProgramProgress p;
  std::snprintf(path, sizeof path, "/proc/%d/io", static_cast<int>(pid));
  p.io = NumberIn(path, "rchar:") + NumberIn(path, "wchar:");
  std::snprintf(path, sizeof path, "/proc/%d/schedstat", static_cast<int>(pid));
  p.cpuNs = NumberIn(path, "");
  return p;
}

std::string ReadAll(int fd) {
  std::string text;
  lseek(fd, 0, SEEK_SET);
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  close(fd);
  return text;
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const ProgramOptions& options) {
  std::optional<OutputPipes> pipes;
  if (options.fileSizeLimit) pipes.emplace();
  const int out = pipes ? pipes->out[1] : AnonymousFile();
  const int err = pipes ? pipes->err[1] : AnonymousFile();
  const int in = AnonymousFile();
  if (!options.input.empty() && write(in, options.input.data(), options.input.size()) < 0)
    throw std::runtime_error("cannot stage the input");
  lseek(in, 0, SEEK_SET);

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (pipes) {
      close(pipes->out[0]);
      close(pipes->err[0]);
    }
    if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(126);
    if (options.fileSizeLimit) {
      rlimit limit{};
      getrlimit(RLIMIT_FSIZE, &limit);
      limit.rlim_cur = *options.fileSizeLimit;
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
      signal(SIGXFSZ, SIG_DFL);
    }
    for (const std::string& pair : options.environment) {
      if (pair.find('=') == std::string::npos)
        unsetenv(pair.c_str());
      else
        putenv(const_cast<char*>(pair.c_str()));
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in);
  ProgramRun run;
  if (pipes) pipes->Drain(run.out, run.err);
  // The program is left a zombie until its write count is read, then reaped.
  siginfo_t info{};
  if (options.killWhen || options.progressSeen) {
    // Polled rather than slept through, so that a program that ends early is not waited for.
    while (true) {
      info.si_pid = 0;
      if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) break;
      const ProgramProgress now = ProgressOf(pid);
      std::vector<ProgramProgress>* seen = options.progressSeen;
      if (seen && (seen->empty() || seen->back().io < now.io || seen->back().cpuNs < now.cpuNs)) seen->push_back(now);
      if (options.killWhen && options.killWhen(now)) {
        kill(pid, SIGKILL);
        break;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
  }
  while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
  run.progress = ProgressOf(pid);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  run.peakMemoryKiB = usage.ru_maxrss;
  if (!pipes) {
    run.out = ReadAll(out);
    run.err = ReadAll(err);
  }
  return run;
}

}  // namespace kestrel::testing
