// Permission bits do not stop root, and the tests run as root in CI. These helpers give up root
// for an ordinary user in a child process, so that read-only cases are tested as a user meets them.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace kestrel::testing {

// The user id the child takes when the tests run as root ("nobody" on Debian).
constexpr uid_t kUnprivilegedId = 65534;

// Runs `body` in a forked child, as kUnprivilegedId when the parent is root, and returns what it
// returned (0 to 255), or -1 when the child did not exit normally. The body must not use test
// assertions: they would be recorded in the child only. Files it should reach must be open to
// that user (a TempDir is private to its owner; see OpenToEveryone).
int RunUnprivileged(const std::function<int()>& body);

// The command line that runs `program` with `args` as kUnprivilegedId when the tests run as
// root (through setpriv), or as is otherwise: the program first, then its arguments.
std::vector<std::string> UnprivilegedCommand(const std::string& program, const std::vector<std::string>& args);

// While alive, the process's effective user and group are kUnprivilegedId when it runs as root
// (the real and saved ids stay root, so the destructor can return). For a moment inside a test
// that cannot fork, such as one permission question asked by a window under test.
class UnprivilegedScope {
 public:
  UnprivilegedScope();
  ~UnprivilegedScope();
  UnprivilegedScope(const UnprivilegedScope&) = delete;
  UnprivilegedScope& operator=(const UnprivilegedScope&) = delete;

 private:
  bool dropped_ = false;
};

// Lets every user enter and write the directory, so that an unprivileged child can use it.
void OpenToEveryone(const std::string& directory);

}  // namespace kestrel::testing
