#include "archive/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace kestrel {
namespace {

[[noreturn]] void ThrowErrno(const std::string& path, int err = errno) {
  throw EInOutError(FileErrorKindFromErrno(err), path, err);
}

int OpenOrThrow(const std::string& path, int flags) {
  int fd;
  do fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) ThrowErrno(path);
  return fd;
}

}  // namespace

BinaryFile BinaryFile::OpenRead(const std::string& path) {
  BinaryFile f(OpenOrThrow(path, O_RDONLY), path);
  struct stat st;
  if (::fstat(f.fd_, &st) == 0 && S_ISDIR(st.st_mode)) throw EInOutError(FileErrorKind::AccessDenied, path, EISDIR);
  return f;
}

BinaryFile BinaryFile::OpenWrite(const std::string& path) { return BinaryFile(OpenOrThrow(path, O_WRONLY), path); }

BinaryFile BinaryFile::OpenAppend(const std::string& path) {
  return BinaryFile(OpenOrThrow(path, O_WRONLY | O_APPEND), path);
}

BinaryFile BinaryFile::Create(const std::string& path) {
  return BinaryFile(OpenOrThrow(path, O_WRONLY | O_CREAT | O_TRUNC), path);
}

BinaryFile BinaryFile::CreateExclusive(const std::string& path) {
  return BinaryFile(OpenOrThrow(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW), path);
}

BinaryFile BinaryFile::CreateInDirectory(const std::string& directory, const std::string& name) {
  const std::string path = JoinPath(directory, name);
  int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) ThrowErrno(directory);
  int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0 && errno == ELOOP) {
    ::unlinkat(dir, name.c_str(), 0);
    fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  }
  const int err = errno;
  ::close(dir);
  if (fd < 0) ThrowErrno(path, err);
  return BinaryFile(fd, path);
}

BinaryFile::BinaryFile(BinaryFile&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) { other.fd_ = -1; }

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
  }
  return *this;
}

BinaryFile::~BinaryFile() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t BinaryFile::Size() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) ThrowErrno(path_);
  return st.st_size;
}

void BinaryFile::Seek(int64_t position) {
  if (position < 0) throw EInOutError(FileErrorKind::ReadBeyondEnd, path_);
  if (::lseek(fd_, position, SEEK_SET) < 0) ThrowErrno(path_);
}

void BinaryFile::ReadExact(void* out, size_t size) {
  uint8_t* p = static_cast<uint8_t*>(out);
  while (size > 0) {
    ssize_t n = ::read(fd_, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(path_);
    }
    if (n == 0) throw EInOutError(FileErrorKind::ReadBeyondEnd, path_);
    p += n;
    size -= static_cast<size_t>(n);
  }
}

std::vector<uint8_t> BinaryFile::ReadExact(size_t size) {
  std::vector<uint8_t> bytes(size);
  ReadExact(bytes.data(), size);
  return bytes;
}

void BinaryFile::WriteAll(const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd_, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(path_);
    }
    if (n == 0) throw EInOutError(FileErrorKind::DiskFull, path_);
    p += n;
    size -= static_cast<size_t>(n);
  }
}

void BinaryFile::CopyFrom(BinaryFile& source, int64_t position, int64_t length) {
  // The kernel's chunks cost no memory of ours, so they may be larger than the buffer's.
  constexpr int64_t kKernelChunk = int64_t{64} << 20;
  constexpr size_t kChunk = 1 << 20;
  if (position < 0) throw EInOutError(FileErrorKind::ReadBeyondEnd, source.path_);
  loff_t from = position;
  while (length > 0) {
    const size_t request = static_cast<size_t>(std::min(length, kKernelChunk));
    const ssize_t n = ::copy_file_range(source.fd_, &from, fd_, nullptr, request, 0);
    if (n > 0) {
      length -= n;
      continue;
    }
    if (n == 0) throw EInOutError(FileErrorKind::ReadBeyondEnd, source.path_);
    if (errno == EINTR) continue;
    // Not supported here, or a failure: the plain loop below goes on from this point and, if the
    // failure is real, meets it again with the file it belongs to.
    break;
  }
  std::vector<uint8_t> buffer;
  while (length > 0) {
    if (buffer.empty()) buffer.resize(kChunk);
    const size_t chunk = static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(buffer.size())));
    const ssize_t n = ::pread(source.fd_, buffer.data(), chunk, from);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(source.path_);
    }
    if (n == 0) throw EInOutError(FileErrorKind::ReadBeyondEnd, source.path_);
    WriteAll(buffer.data(), static_cast<size_t>(n));
    from += n;
    length -= n;
  }
}

void BinaryFile::Truncate(int64_t length) {
  if (::ftruncate(fd_, length) != 0) ThrowErrno(path_);
}

void BinaryFile::Sync() {
  if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) ThrowErrno(path_);
}

void BinaryFile::Close() {
  if (fd_ < 0) return;
  int fd = fd_;
  fd_ = -1;
  // Delayed write errors (a full disk on a network share) surface here.
  if (::close(fd) != 0 && errno != EINTR) ThrowErrno(path_);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  BinaryFile f = BinaryFile::OpenRead(path);
  const int64_t size = f.Size();
  std::vector<uint8_t> bytes = f.ReadExact(static_cast<size_t>(size));
  f.Close();
  return bytes;
}

void WriteWholeFile(const std::string& path, const void* data, size_t size) {
  BinaryFile f = BinaryFile::Create(path);
  f.WriteAll(data, size);
  f.Close();
}

std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char buffer[PATH_MAX];
  if (!::getcwd(buffer, sizeof buffer)) return path;
  std::string cwd = buffer;
  if (path.empty() || path == ".") return cwd;
  return JoinPath(cwd, path);
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  if (directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

std::string ReplaceExtension(const std::string& path, const std::string& extension) {
  const size_t nameStart = path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1;
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < nameStart) return path + extension;
  return path.substr(0, dot) + extension;
}

bool IsSafeEntryFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

}  // namespace kestrel
