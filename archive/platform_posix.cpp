// The platform layer on Linux and other POSIX systems.
#include "archive/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kestrel::platform {

FileHandle Open(const std::string& path, OpenMode mode, int& error) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::Read: flags |= O_RDONLY; break;
    case OpenMode::Write: flags |= O_WRONLY; break;
    case OpenMode::Append: flags |= O_WRONLY | O_APPEND; break;
    case OpenMode::Create: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case OpenMode::CreateExclusive: flags |= O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW; break;
  }
  int fd;
  do fd = ::open(path.c_str(), flags, 0666);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = errno;
    return kNoFile;
  }
  struct stat st;
  if (mode == OpenMode::Read && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    error = EISDIR;
    return kNoFile;
  }
  return fd;
}

FileHandle CreateInDirectory(const std::string& directory, const std::string& name, int& error) {
  int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) {
    error = errno;
    return kNoFile;
  }
  int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0 && errno == ELOOP) {
    ::unlinkat(dir, name.c_str(), 0);
    fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  }
  error = errno;
  ::close(dir);
  return fd < 0 ? kNoFile : fd;
}

int Close(FileHandle file) {
  // Delayed write errors (a full disk on a network share) surface here.
  return ::close(static_cast<int>(file)) != 0 && errno != EINTR ? errno : 0;
}

int64_t Read(FileHandle file, void* out, size_t size, int& error) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(file), out, size);
    if (n >= 0) return n;
    if (errno != EINTR) return error = errno, -1;
  }
}

int64_t ReadAt(FileHandle file, void* out, size_t size, int64_t position, int& error) {
  for (;;) {
    const ssize_t n = ::pread(static_cast<int>(file), out, size, position);
    if (n >= 0) return n;
    if (errno != EINTR) return error = errno, -1;
  }
}

int64_t Write(FileHandle file, const void* data, size_t size, int& error) {
  for (;;) {
    const ssize_t n = ::write(static_cast<int>(file), data, size);
    if (n >= 0) return n;
    if (errno != EINTR) return error = errno, -1;
  }
}

int Seek(FileHandle file, int64_t position) { return ::lseek(static_cast<int>(file), position, SEEK_SET) < 0 ? errno : 0; }

int SizeOf(FileHandle file, int64_t& size) {
  struct stat st;
  if (::fstat(static_cast<int>(file), &st) != 0) return errno;
  size = st.st_size;
  return 0;
}

int Truncate(FileHandle file, int64_t length) { return ::ftruncate(static_cast<int>(file), length) != 0 ? errno : 0; }

int Sync(FileHandle file) {
  return ::fsync(static_cast<int>(file)) != 0 && errno != EINVAL && errno != EROFS ? errno : 0;
}

int64_t CopyInKernel(FileHandle from, int64_t& position, FileHandle to, size_t size) {
  for (;;) {
    loff_t at = position;
    const ssize_t n = ::copy_file_range(static_cast<int>(from), &at, static_cast<int>(to), nullptr, size, 0);
    if (n >= 0) {
      position = at;
      return n;
    }
    // Not supported here, or a failure: the caller's buffered copy goes on from this point and, if
    // the failure is real, meets it again with the file it belongs to.
    if (errno != EINTR) return -1;
  }
}

PathInfo Inspect(const std::string& path, bool followLinks) {
  struct stat st;
  PathInfo info;
  if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) return info;
  info.Exists = true;
  info.Regular = S_ISREG(st.st_mode);
  info.Directory = S_ISDIR(st.st_mode);
  info.Link = S_ISLNK(st.st_mode);
  info.Size = st.st_size;
  return info;
}

bool SameFile(const std::string& a, const std::string& b, bool followLast) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && (followLast ? ::stat(b.c_str(), &sb) : ::lstat(b.c_str(), &sb)) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool CanEnterDirectory(const std::string& path) { return ::access(path.c_str(), R_OK | X_OK) == 0; }

const char* PathSeparators() { return "/"; }
bool IsAbsolute(const std::string& path) { return !path.empty() && path[0] == '/'; }
size_t RootLength(const std::string& path) { return IsAbsolute(path) ? 1 : 0; }

std::string CurrentDirectory() {
  char buffer[PATH_MAX];
  return ::getcwd(buffer, sizeof buffer) ? buffer : "";
}

std::string ResolvePath(const std::string& absolute) {
  char buffer[PATH_MAX];
  return ::realpath(absolute.c_str(), buffer) ? buffer : "";
}

std::string ResolveDirectoryOf(const std::string& absolute) {
  const size_t slash = absolute.find_last_of('/');
  if (slash == std::string::npos) return "";
  const std::string resolved = ResolvePath(slash == 0 ? "/" : absolute.substr(0, slash));
  if (resolved.empty()) return "";
  return (resolved == "/" ? resolved : resolved + "/") + absolute.substr(slash + 1);
}

std::string LinkTarget(const std::string& path) {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
}

bool IsStream(const std::string& path) {
  struct stat st;
  return path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0 ||
         (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode));
}

bool IsForbiddenFileName(const std::string&) { return false; }

std::vector<std::string> ListDirectory(const std::string& directory, int& error) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (!dir) {
    error = errno;
    return names;
  }
  while (const dirent* d = ::readdir(dir)) {
    const std::string name = d->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

int MakeDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0777) != 0 ? errno : 0; }

std::string MakeUniqueDirectory(const std::string& prefix) {
  std::string pattern = prefix + "XXXXXX";
  return ::mkdtemp(pattern.data()) ? pattern : "";
}

std::string TemporaryFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp == '/' ? tmp : "/tmp";
}

int RemoveFile(const std::string& path) { return ::unlink(path.c_str()) != 0 ? errno : 0; }
int RemoveEmptyDirectory(const std::string& path) { return ::rmdir(path.c_str()) != 0 ? errno : 0; }

int RenameReplacing(const char* from, const char* to) { return std::rename(from, to); }

void CopyPermissions(const std::string& from, const std::string& to) {
  struct stat st;
  if (::stat(from.c_str(), &st) != 0) return;
  // Keeps the owner where we may (root editing another user's archive); fails harmlessly otherwise.
  // Before the mode: a change of owner clears the set-id bits.
  const int ignored = ::chown(to.c_str(), st.st_uid, st.st_gid);
  (void)ignored;
  ::chmod(to.c_str(), st.st_mode & 07777);
}

void SyncDirectory(const std::string& directory) {
  const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // some file systems cannot flush a directory; the rename has happened either way
  ::close(fd);
}

namespace {

// The first 8 digits of the kernel's boot id.
std::string BootId() {
  std::ifstream in("/proc/sys/kernel/random/boot_id");
  std::string id;
  std::getline(in, id);
  std::string hex;
  for (const char c : id)
    if (std::isxdigit(static_cast<unsigned char>(c)) && hex.size() < 8) hex += c;
  return hex.empty() ? "0" : hex;
}

// Field 22 of /proc/PID/stat, the start in clock ticks since boot; 0 when there is no such process
// or it cannot be read.
unsigned long long StartTicksOf(long long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  std::getline(in, stat);
  // The command name in parentheses may hold spaces; the fields after it are counted from its end.
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(stat.substr(close + 1));
  std::string field;
  for (int n = 3; n <= 22 && fields >> field; ++n)
    if (n == 22) return std::strtoull(field.c_str(), nullptr, 10);
  return 0;
}

}  // namespace

const std::string& ThisBoot() {
  static const std::string boot = BootId();
  return boot;
}

// Asked anew each time: a child forked after the first write is a process of its own.
ProcessMark ThisProcess() {
  const long long pid = ::getpid();
  return {pid, StartTicksOf(pid), ThisBoot()};
}

bool HasEnded(const ProcessMark& mark) {
  if (::kill(static_cast<pid_t>(mark.Pid), 0) != 0 && errno == ESRCH) return true;
  // The id is in use: by the same process only if it started at the same moment.
  const unsigned long long started = StartTicksOf(mark.Pid);
  return mark.Started != 0 && started != 0 && started != mark.Started;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  // Past a file size limit (ulimit -f) a write then fails with "Disk full", which is reported like
  // a full disk, instead of the process being ended by SIGXFSZ with nothing said.
  std::signal(SIGXFSZ, SIG_IGN);
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace kestrel::platform
