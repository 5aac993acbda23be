// A file descriptor that closes itself, and whole reads that report errno or the early end.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace kestrel::studio {

// The code reported when a file holds fewer bytes than a read needs.
inline constexpr int kReadBeyondEndCode = 100;

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

// Reads exactly `size` bytes at `position`: 0, errno, or kReadBeyondEndCode when the file ends first.
inline int ReadAt(int fd, uint8_t* out, size_t size, int64_t position) {
  size_t done = 0;
  while (done < size) {
    const ssize_t got =
        ::pread(fd, out + done, size - done, static_cast<off_t>(position + static_cast<int64_t>(done)));
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return kReadBeyondEndCode;
    done += static_cast<size_t>(got);
  }
  return 0;
}

// Writes all `size` bytes: 0 or errno.
inline int WriteAll(int fd, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t put = ::write(fd, data + done, size - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<size_t>(put);
  }
  return 0;
}

}  // namespace kestrel::studio
