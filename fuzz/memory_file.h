// The fuzz input as a file with a path, kept in memory: the decoders under test open files by
// name, and a real file per run would make the fuzzer slow and wear the disk.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace kestrel::fuzz {

class MemoryFile {
 public:
  MemoryFile(const uint8_t* data, size_t size) : fd_(::memfd_create("fuzz-input", MFD_CLOEXEC)) {
    if (fd_ < 0) std::abort();
    for (size_t done = 0; done < size;) {
      const ssize_t n = ::write(fd_, data + done, size - done);
      if (n <= 0) std::abort();
      done += static_cast<size_t>(n);
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemoryFile() { ::close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  const std::string& Path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

// Entries past this many are not read: the table may list thousands, and the first few already
// reach every path of the entry code.
constexpr size_t kMaxEntriesRead = 16;

}  // namespace kestrel::fuzz
