#include "archive/testing/program_runner.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

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
  const int out = AnonymousFile();
  const int err = AnonymousFile();
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
    if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(126);
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
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  ProgramRun run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  run.peakMemoryKiB = usage.ru_maxrss;
  run.out = ReadAll(out);
  run.err = ReadAll(err);
  return run;
}

}  // namespace kestrel::testing
