#include "studio/mesh/text_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "archive/file_error.h"
#include "archive/file_io.h"

namespace kestrel {

void WriteTextFile(const std::string& path, const std::string& text) {
  BinaryFile file = BinaryFile::Create(path);
  file.WriteAll(text.data(), text.size());
  file.Close();
}

void AppendTextFile(const std::string& path, const std::string& text) {
  int fd;
  do fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) throw EInOutError(FileErrorKindFromErrno(errno), path);
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = n < 0 ? errno : ENOSPC;
      ::close(fd);
      throw EInOutError(FileErrorKindFromErrno(err), path);
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) throw EInOutError(FileErrorKindFromErrno(errno), path);
}

}  // namespace kestrel
