#include "archive/file_replacement.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>
#include <vector>

namespace kestrel {
namespace {

RenameFunction g_rename = &platform::RenameReplacing;

// The file a path finally names: links resolved, also for a file that does not exist yet (then
// its directory is resolved and the name kept).
std::string ResolveTarget(const std::string& path) {
  const std::string absolute = AbsolutePath(path);
  if (std::string resolved = platform::ResolvePath(absolute); !resolved.empty()) return resolved;
  if (platform::Inspect(absolute, false).Link) {
    // A link whose target does not exist yet: the new file is created where it points.
    const std::string link = platform::LinkTarget(absolute);
    if (!link.empty()) return ResolveTarget(platform::IsAbsolute(link) ? link : JoinPath(DirectoryOf(absolute), link));
  }
  if (std::string resolved = platform::ResolveDirectoryOf(absolute); !resolved.empty()) return resolved;
  return absolute;
}

using platform::ProcessMark;
using platform::ThisBoot;
using platform::ThisProcess;

std::string TemporaryStem(const std::string& target) {
  return "." + FileNameOf(target).substr(0, 180) + ".kestrel-";
}

std::string UniqueSuffix() {
  static std::atomic<unsigned> counter{0};
  static const unsigned seed = std::random_device{}();
  const ProcessMark self = ThisProcess();
  char text[96];
  std::snprintf(text, sizeof text, "%lld-%llx-%s-%08x%04x", self.Pid, self.Started, self.Boot.c_str(), seed,
                counter++ & 0xFFFFu);
  return text;
}

// Whether the process that named a temporary `suffix` (see UniqueSuffix) has ended. A name not of
// that form, or a process that may still run, is left alone.
bool LeftByEndedProcess(const std::string& suffix) {
  ProcessMark mark;
  char boot[16] = {};
  int used = 0;
  if (std::sscanf(suffix.c_str(), "%lld-%llx-%15[0-9a-f]-%*[0-9a-f]%n", &mark.Pid, &mark.Started, boot, &used) != 3 ||
      static_cast<size_t>(used) != suffix.size() || mark.Pid <= 0)
    return false;
  // Made before the machine last started: whatever made it has ended.
  if (std::string(boot) != ThisBoot() && ThisBoot() != "0" && std::string(boot) != "0") return true;
  return platform::HasEnded(mark);
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
  const std::string stem = target.empty() ? std::string() : TemporaryStem(target);
  std::vector<std::string> ended;
  for (const std::string& name : platform::ListDirectory(directory)) {
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
  // Only regular files: never a directory or anything else someone gave such a name.
  for (const std::string& name : ended) {
    const std::string path = JoinPath(directory, name);
    if (platform::Inspect(path, false).Regular) platform::RemoveFile(path);
  }
}

}  // namespace

void RemoveTemporariesOfEndedProcesses(const std::string& directory) { RemoveTemporariesOfEndedProcesses(directory, ""); }

void SyncDirectory(const std::string& directory) { platform::SyncDirectory(directory); }

void CheckWritableIfExists(const std::string& path) {
  const platform::PathInfo info = platform::Inspect(path, true);
  if (!info.Exists) return;
  if (info.Directory) throw EInOutError(FileErrorKind::AccessDenied, path, EISDIR);
  // Only opened, never truncated: this asks the same question a writer would, mandatory access
  // controls, read-only mounts and attributes and another program holding the file included,
  // without changing anything.
  int err = 0;
  const platform::FileHandle fd = platform::Open(path, platform::OpenMode::Write, err);
  if (fd == platform::kNoFile) throw EInOutError(FileErrorKindFromErrno(err), path, err);
  platform::Close(fd);
}

FileReplacement::FileReplacement(const std::string& path) : FileReplacement(path, LinkHandling::Follow) {}

namespace {

// The path with its directory resolved and its last name kept as it is, link or not.
std::string ResolveDirectoryOnly(const std::string& path) {
  const std::string absolute = AbsolutePath(path);
  if (std::string resolved = platform::ResolveDirectoryOf(absolute); !resolved.empty()) return resolved;
  return absolute;
}

bool IsSymbolicLink(const std::string& path) { return platform::Inspect(path, false).Link; }

// A pipe, a device or an open descriptor named through /dev or /proc (/dev/stdout feeding another
// program) has nothing to keep, and a file renamed beside it would miss the reader's descriptor.
bool IsStream(const std::string& path) { return platform::IsStream(path); }

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
  if (!stream_) platform::RemoveFile(temporary_);
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
    // A link being replaced lends nothing: the new file gets the mode of a new file.
    if (!replacesLink_) platform::CopyPermissions(target_, temporary_);
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
  g_rename = rename ? rename : &platform::RenameReplacing;
  return previous;
}

}  // namespace kestrel
