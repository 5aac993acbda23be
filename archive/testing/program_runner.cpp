#include "archive/testing/program_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <optional>
#include <cstdlib>
#include <stdexcept>
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
  int status = 0;
  rusage usage{};
  if (options.killAfter) {
    std::optional<std::chrono::steady_clock::time_point> deadline;
    if (!options.killClockStarts) deadline = std::chrono::steady_clock::now() + *options.killAfter;
    // Polled rather than slept through, so that a program that ends early is not waited for.
    while (wait4(pid, &status, WNOHANG, &usage) == 0) {
      if (!deadline) {
        if (options.killClockStarts()) deadline = std::chrono::steady_clock::now() + *options.killAfter;
        continue;  // watched without pause: the moment it waits for may be short
      }
      if (std::chrono::steady_clock::now() >= *deadline) {
        kill(pid, SIGKILL);
        wait4(pid, &status, 0, &usage);
        break;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
  } else {
    wait4(pid, &status, 0, &usage);
  }
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
