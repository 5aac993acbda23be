#include "archive/file_io.h"

#include <algorithm>
#include <cerrno>

namespace kestrel {
namespace {

[[noreturn]] void ThrowErrno(const std::string& path, int err) {
  throw EInOutError(FileErrorKindFromErrno(err), path, err);
}

platform::FileHandle OpenOrThrow(const std::string& path, platform::OpenMode mode) {
  int err = 0;
  const platform::FileHandle fd = platform::Open(path, mode, err);
  if (fd == platform::kNoFile) ThrowErrno(path, err);
  return fd;
}

}  // namespace

BinaryFile BinaryFile::OpenRead(const std::string& path) {
  try {
    return BinaryFile(OpenOrThrow(path, platform::OpenMode::Read), path);
  } catch (const EInOutError& e) {
    if (e.SystemCode() == EISDIR) throw EInOutError(FileErrorKind::AccessDenied, path, EISDIR);
    throw;
  }
}

BinaryFile BinaryFile::OpenWrite(const std::string& path) {
  return BinaryFile(OpenOrThrow(path, platform::OpenMode::Write), path);
}

BinaryFile BinaryFile::OpenAppend(const std::string& path) {
  return BinaryFile(OpenOrThrow(path, platform::OpenMode::Append), path);
}

BinaryFile BinaryFile::Create(const std::string& path) {
  return BinaryFile(OpenOrThrow(path, platform::OpenMode::Create), path);
}

BinaryFile BinaryFile::CreateExclusive(const std::string& path) {
  return BinaryFile(OpenOrThrow(path, platform::OpenMode::CreateExclusive), path);
}

BinaryFile BinaryFile::CreateInDirectory(const std::string& directory, const std::string& name) {
  const std::string path = JoinPath(directory, name);
  int err = 0;
  const platform::FileHandle fd = platform::CreateInDirectory(directory, name, err);
  if (fd == platform::kNoFile) ThrowErrno(path, err);
  return BinaryFile(fd, path);
}

BinaryFile::BinaryFile(BinaryFile&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
  other.fd_ = platform::kNoFile;
}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
  if (this != &other) {
    if (fd_ != platform::kNoFile) platform::Close(fd_);
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    other.fd_ = platform::kNoFile;
  }
  return *this;
}

BinaryFile::~BinaryFile() {
  if (fd_ != platform::kNoFile) platform::Close(fd_);
}

int64_t BinaryFile::Size() const {
  int64_t size = 0;
  if (const int err = platform::SizeOf(fd_, size)) ThrowErrno(path_, err);
  return size;
}

void BinaryFile::Seek(int64_t position) {
  if (position < 0) throw EInOutError(FileErrorKind::ReadBeyondEnd, path_);
  if (const int err = platform::Seek(fd_, position)) ThrowErrno(path_, err);
}

void BinaryFile::ReadExact(void* out, size_t size) {
  uint8_t* p = static_cast<uint8_t*>(out);
  while (size > 0) {
    int err = 0;
    const int64_t n = platform::Read(fd_, p, size, err);
    if (n < 0) ThrowErrno(path_, err);
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
    int err = 0;
    const int64_t n = platform::Write(fd_, p, size, err);
    if (n < 0) ThrowErrno(path_, err);
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
  int64_t from = position;
  while (length > 0) {
    const size_t request = static_cast<size_t>(std::min(length, kKernelChunk));
    const int64_t n = platform::CopyInKernel(source.fd_, from, fd_, request);
    if (n > 0) {
      length -= n;
      continue;
    }
    if (n == 0) throw EInOutError(FileErrorKind::ReadBeyondEnd, source.path_);
    break;
  }
  std::vector<uint8_t> buffer;
  while (length > 0) {
    if (buffer.empty()) buffer.resize(kChunk);
    const size_t chunk = static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(buffer.size())));
    int err = 0;
    const int64_t n = platform::ReadAt(source.fd_, buffer.data(), chunk, from, err);
    if (n < 0) ThrowErrno(source.path_, err);
    if (n == 0) throw EInOutError(FileErrorKind::ReadBeyondEnd, source.path_);
    WriteAll(buffer.data(), static_cast<size_t>(n));
    from += n;
    length -= n;
  }
}

void BinaryFile::Truncate(int64_t length) {
  if (const int err = platform::Truncate(fd_, length)) ThrowErrno(path_, err);
}

void BinaryFile::Sync() {
  if (const int err = platform::Sync(fd_)) ThrowErrno(path_, err);
}

void BinaryFile::Close() {
  if (fd_ == platform::kNoFile) return;
  const platform::FileHandle fd = fd_;
  fd_ = platform::kNoFile;
  if (const int err = platform::Close(fd)) ThrowErrno(path_, err);
}

bool FileExists(const std::string& path) { return platform::Inspect(path, true).Regular; }

bool DirectoryExists(const std::string& path) { return platform::Inspect(path, true).Directory; }

bool IsSameFile(const std::string& a, const std::string& b) { return platform::SameFile(a, b); }

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
  if (platform::IsAbsolute(path)) return path;
  const std::string cwd = platform::CurrentDirectory();
  if (cwd.empty()) return path;
  if (path.empty() || path == ".") return cwd;
  return JoinPath(cwd, path);
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of(platform::PathSeparators());
  if (slash == std::string::npos) return "";
  // The root keeps its separator: "/" for "/x", "C:/" for "C:/x".
  const size_t root = platform::RootLength(path);
  if (slash < root) return path.substr(0, root);
  return path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of(platform::PathSeparators());
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  if (std::string(platform::PathSeparators()).find(directory.back()) != std::string::npos) return directory + name;
  return directory + "/" + name;
}

std::string ReplaceExtension(const std::string& path, const std::string& extension) {
  const size_t slash = path.find_last_of(platform::PathSeparators());
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < nameStart) return path + extension;
  return path.substr(0, dot) + extension;
}

bool IsSafeEntryFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos && !platform::IsForbiddenFileName(name);
}

}  // namespace kestrel
