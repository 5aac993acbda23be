// Makes every rename a file replacement tries fail with a chosen error while the object lives, so
// that a test cannot leave the failure in place for the tests after it, even when it throws.
#pragma once

#include <cerrno>

#include "archive/file_replacement.h"

namespace kestrel::testing {

class FailingRename {
 public:
  explicit FailingRename(int error) {
    error_ = error;
    previous_ = SetRenameFunctionForTesting(Fail);
  }
  ~FailingRename() { SetRenameFunctionForTesting(previous_); }
  FailingRename(const FailingRename&) = delete;
  FailingRename& operator=(const FailingRename&) = delete;

 private:
  static int Fail(const char*, const char*) {
    errno = error_;
    return -1;
  }
  static inline int error_ = EACCES;
  RenameFunction previous_ = nullptr;
};

}  // namespace kestrel::testing
