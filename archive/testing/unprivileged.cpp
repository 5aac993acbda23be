#include "archive/testing/unprivileged.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace kestrel::testing {

int RunUnprivileged(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (::geteuid() == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedId) != 0 || ::setuid(kUnprivilegedId) != 0)
        ::_exit(254);
    }
    int result = 253;
    try {
      result = body();
    } catch (...) {
      result = 252;
    }
    ::_exit(result);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> UnprivilegedCommand(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> command;
  if (::geteuid() == 0) {
    const std::string id = std::to_string(kUnprivilegedId);
    command = {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
  }
  command.push_back(program);
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

UnprivilegedScope::UnprivilegedScope() {
  if (::geteuid() != 0) return;
  if (::setegid(kUnprivilegedId) != 0 || ::seteuid(kUnprivilegedId) != 0)
    throw std::runtime_error("could not give up root for the test");
  dropped_ = true;
}

UnprivilegedScope::~UnprivilegedScope() {
  if (!dropped_) return;
  if (::seteuid(0) != 0 || ::setegid(0) != 0) std::abort();  // a test left without root would mislead
}

void OpenToEveryone(const std::string& directory) {
  if (::chmod(directory.c_str(), 0777) != 0) throw std::runtime_error("chmod failed on " + directory);
}

}  // namespace kestrel::testing
