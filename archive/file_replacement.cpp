#include "archive/file_replacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace kestrel {
namespace {

RenameFunction g_rename = &std::rename;

// The file a path finally names: links resolved, also for a file that does not exist yet (then
// its directory is resolved and the name kept).
std::string ResolveTarget(const std::string& path) {
  const std::string absolute = AbsolutePath(path);
  char buffer[PATH_MAX];
  if (::realpath(absolute.c_str(), buffer)) return buffer;
  struct stat st;
  if (::lstat(absolute.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // A link whose target does not exist yet: the new file is created where it points.
    const ssize_t n = ::readlink(absolute.c_str(), buffer, sizeof buffer - 1);
    if (n > 0) {
      const std::string link(buffer, static_cast<size_t>(n));
      return ResolveTarget(link[0] == '/' ? link : JoinPath(DirectoryOf(absolute), link));
    }
  }
  const std::string directory = DirectoryOf(absolute);
  if (!directory.empty() && ::realpath(directory.c_str(), buffer)) return JoinPath(buffer, FileNameOf(absolute));
  return absolute;
}

std::string UniqueSuffix() {
  static std::atomic<unsigned> counter{0};
  static const unsigned seed = std::random_device{}();
  char text[32];
  std::snprintf(text, sizeof text, "%08x%04x", seed ^ static_cast<unsigned>(::getpid()), counter++ & 0xFFFFu);
  return text;
}

// A hidden name beside the target, so that a file left by a killed process is easy to tell apart.
BinaryFile CreateUniqueBeside(const std::string& target, const std::string& shown, std::string& temporaryPath) {
  const std::string directory = DirectoryOf(target);
  const std::string stem = "." + FileNameOf(target).substr(0, 200) + ".kestrel-";
  for (int attempt = 0;; ++attempt) {
    temporaryPath = JoinPath(directory, stem + UniqueSuffix());
    try {
      BinaryFile file = BinaryFile::CreateExclusive(temporaryPath);
      file.NameInErrors(shown);
      return file;
    } catch (const EInOutError& e) {
      // The user knows the file they asked for, not our hidden temporary name.
      if (e.SystemCode() != EEXIST || attempt >= 100) throw EInOutError(e.Kind(), shown, e.SystemCode());
    }
  }
}

}  // namespace

void SyncDirectory(const std::string& directory) {
  const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // some file systems cannot flush a directory; the rename has happened either way
  ::close(fd);
}

void CheckWritableIfExists(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) throw EInOutError(FileErrorKind::AccessDenied, path, EISDIR);
  // Only opened, never truncated: this asks the same question a writer would, mandatory access
  // controls and read-only mounts included, without changing anything.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int err = errno;
    throw EInOutError(FileErrorKindFromErrno(err), path, err);
  }
  ::close(fd);
}

FileReplacement::FileReplacement(const std::string& path) : FileReplacement(path, LinkHandling::Follow) {}

namespace {

// The path with its directory resolved and its last name kept as it is, link or not.
std::string ResolveDirectoryOnly(const std::string& path) {
  const std::string absolute = AbsolutePath(path);
  const std::string directory = DirectoryOf(absolute);
  char buffer[PATH_MAX];
  if (!directory.empty() && ::realpath(directory.c_str(), buffer)) return JoinPath(buffer, FileNameOf(absolute));
  return absolute;
}

bool IsSymbolicLink(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// A pipe, a device or an open descriptor named through /dev or /proc (/dev/stdout feeding another
// program) has nothing to keep, and a file renamed beside it would miss the reader's descriptor.
bool IsStream(const std::string& path) {
  struct stat st;
  return path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0 ||
         (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode));
}

}  // namespace

FileReplacement::FileReplacement(const std::string& path, LinkHandling links)
    : stream_(links == LinkHandling::Follow && IsStream(path)),
      shown_(path),
      target_(stream_ ? path : links == LinkHandling::Follow ? ResolveTarget(path) : ResolveDirectoryOnly(path)),
      temporary_(),
      file_(BinaryFile::Closed()),
      replacesLink_(links == LinkHandling::Replace && IsSymbolicLink(target_)) {
  if (stream_) {
    file_ = BinaryFile::OpenWrite(target_);
    return;
  }
  // A link that is replaced is not written through, so where it points does not need to be writable.
  if (!replacesLink_) {
    try {
      CheckWritableIfExists(target_);
    } catch (const EInOutError& e) {
      throw EInOutError(e.Kind(), shown_, e.SystemCode());
    }
  }
  file_ = CreateUniqueBeside(target_, shown_, temporary_);
}

FileReplacement::~FileReplacement() { Discard(); }

void FileReplacement::Discard() {
  if (done_) return;
  done_ = true;
  file_ = BinaryFile::Closed();
  if (!stream_) ::unlink(temporary_.c_str());
}

void FileReplacement::Flush() {
  if (done_) throw EInOutError(FileErrorKind::Other, shown_);
  if (flushed_) return;
  try {
    file_.Sync();
    file_.Close();
  } catch (...) {
    Discard();
    throw;
  }
  flushed_ = true;
}

void FileReplacement::Rename() {
  Flush();
  if (stream_) {
    done_ = true;
    return;
  }
  try {
    struct stat st;
    // A link being replaced lends nothing: the new file gets the mode of a new file.
    if (!replacesLink_ && ::stat(target_.c_str(), &st) == 0) {
      // Keeps the owner where we may (root editing another user's archive); fails harmlessly otherwise.
      // Before the mode: a change of owner clears the set-id bits.
      const int ignored = ::chown(temporary_.c_str(), st.st_uid, st.st_gid);
      (void)ignored;
      ::chmod(temporary_.c_str(), st.st_mode & 07777);
    }
    if (g_rename(temporary_.c_str(), target_.c_str()) != 0) {
      const int err = errno;
      throw EInOutError(FileErrorKindFromErrno(err), shown_, err);
    }
  } catch (...) {
    Discard();
    throw;
  }
  done_ = true;
}

void FileReplacement::Commit() {
  Rename();
  if (!stream_) SyncDirectory(DirectoryOf(target_));
}

void FileReplacement::CommitLeavingDirectoryUnsynced() { Rename(); }

void ReplaceFileContents(const std::string& path, const void* data, size_t size) {
  FileReplacement replacement(path);
  replacement.File().WriteAll(data, size);
  replacement.Commit();
}

RenameFunction SetRenameFunctionForTesting(RenameFunction rename) {
  RenameFunction previous = g_rename;
  g_rename = rename ? rename : &std::rename;
  return previous;
}

}  // namespace kestrel
