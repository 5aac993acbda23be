// Lowers the process's file size limit for the lifetime of the object, so that tests can fill the
// disk at a chosen size without needing a small file system. A write past the limit fails with
// "Disk full" instead of raising SIGXFSZ; the limit applies even to root.
#pragma once

#include <sys/resource.h>

#include <csignal>

namespace kestrel::testing {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved_;
    lowered.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previousHandler_)(int);
};

}  // namespace kestrel::testing
