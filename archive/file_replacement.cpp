#include "archive/file_replacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

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

// What tells this process apart from any other that ever had its id: the boot (the first 8 digits
// of the kernel's boot id) and the process's start time in clock ticks since that boot. Where /proc
// cannot tell, both are 0 and only the id is checked.
struct ProcessMark {
  long long Pid = 0;
  unsigned long long StartTicks = 0;
  std::string Boot = "0";
};

std::string BootId() {
  std::ifstream in("/proc/sys/kernel/random/boot_id");
  std::string id;
  std::getline(in, id);
  std::string hex;
  for (const char c : id)
    if (std::isxdigit(static_cast<unsigned char>(c)) && hex.size() < 8) hex += c;
  return hex.empty() ? "0" : hex;
}

// Field 22 of /proc/PID/stat; 0 when there is no such process or it cannot be read.
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

// Asked anew each time: a child forked after the first write is a process of its own.
const std::string& ThisBoot() {
  static const std::string boot = BootId();
  return boot;
}

ProcessMark ThisProcess() {
  const long long pid = ::getpid();
  return {pid, StartTicksOf(pid), ThisBoot()};
}

std::string TemporaryStem(const std::string& target) {
  return "." + FileNameOf(target).substr(0, 180) + ".kestrel-";
}

std::string UniqueSuffix() {
  static std::atomic<unsigned> counter{0};
  static const unsigned seed = std::random_device{}();
  const ProcessMark self = ThisProcess();
  char text[96];
  std::snprintf(text, sizeof text, "%lld-%llx-%s-%08x%04x", self.Pid, self.StartTicks, self.Boot.c_str(), seed,
                counter++ & 0xFFFFu);
  return text;
}

// Whether the process that named a temporary `suffix` (see UniqueSuffix) has ended. A name not of
// that form, or a process that may still run, is left alone.
bool LeftByEndedProcess(const std::string& suffix) {
  ProcessMark mark;
  char boot[16] = {};
  int used = 0;
  if (std::sscanf(suffix.c_str(), "%lld-%llx-%15[0-9a-f]-%*[0-9a-f]%n", &mark.Pid, &mark.StartTicks, boot, &used) != 3 ||
      static_cast<size_t>(used) != suffix.size() || mark.Pid <= 0)
    return false;
  // Made before the machine last started: whatever made it has ended.
  if (std::string(boot) != ThisBoot() && ThisBoot() != "0" && std::string(boot) != "0") return true;
  if (::kill(static_cast<pid_t>(mark.Pid), 0) != 0 && errno == ESRCH) return true;
  // The id is in use: by the same process only if it started at the same moment.
  const unsigned long long started = StartTicksOf(mark.Pid);
  return mark.StartTicks != 0 && started != 0 && started != mark.StartTicks;
}

// A hidden name beside the target, so that a file left by a killed process is easy to tell apart.
BinaryFile CreateUniqueBeside(const std::string& target, const std::string& shown, std::string& temporaryPath) {
  const std::string directory = DirectoryOf(target);
  const std::string stem = TemporaryStem(target);
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

// Removes the temporaries a process that has ended left in `directory`: those beside `target`, or
// all of them when `target` is empty.
void RemoveTemporariesOfEndedProcesses(const std::string& directory, const std::string& target) {
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (!dir) return;
  const std::string stem = target.empty() ? std::string() : TemporaryStem(target);
  std::vector<std::string> ended;
  while (const dirent* d = ::readdir(dir)) {
    const std::string name = d->d_name;
    if (name[0] != '.') continue;
    size_t suffixStart;
    if (!stem.empty()) {
      if (name.compare(0, stem.size(), stem) != 0) continue;
      suffixStart = stem.size();
    } else {
      const size_t marker = name.rfind(".kestrel-");
      if (marker == std::string::npos) continue;
      suffixStart = marker + 9;
    }
    if (LeftByEndedProcess(name.substr(suffixStart))) ended.push_back(name);
  }
  ::closedir(dir);
  // Only regular files: never a directory or anything else someone gave such a name.
  for (const std::string& name : ended) {
    const std::string path = JoinPath(directory, name);
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path.c_str());
  }
}

}  // namespace

void RemoveTemporariesOfEndedProcesses(const std::string& directory) { RemoveTemporariesOfEndedProcesses(directory, ""); }

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

FileReplacement::FileReplacement(const std::string& path, LinkHandling links, bool removeLeftTemporaries)
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
  // A write killed part-way could not remove its temporary; the next write of the file does.
  if (removeLeftTemporaries) RemoveTemporariesOfEndedProcesses(DirectoryOf(target_), target_);
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
