// Lets a test running as root meet permissions as an ordinary user does.
//
// Root may open any file for writing, so a test of "a file the user cannot write is refused" proves
// nothing when run as root. While an UnprivilegedScope lives, a root process acts with the user and
// group ids of "nobody" (65534); other users are unaffected. glibc applies seteuid to every thread.
#pragma once

#include <unistd.h>

#include <stdexcept>

namespace kestrel::testing {

class UnprivilegedScope {
 public:
  static constexpr uid_t kNobody = 65534;

  UnprivilegedScope() : was_root_(::geteuid() == 0) {
    if (!was_root_) return;
    if (::setegid(kNobody) != 0 || ::seteuid(kNobody) != 0) throw std::runtime_error("cannot drop to uid 65534");
  }
  ~UnprivilegedScope() {
    if (!was_root_) return;
    const int restored = ::seteuid(0) | ::setegid(0);
    (void)restored;
  }
  UnprivilegedScope(const UnprivilegedScope&) = delete;
  UnprivilegedScope& operator=(const UnprivilegedScope&) = delete;

 private:
  bool was_root_;
};

}  // namespace kestrel::testing
