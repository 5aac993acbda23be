// Replaces a user's file whole or not at all.
//
// The new content goes into a uniquely named file created exclusively beside the target; only
// Commit() flushes it, gives it the target's permission bits and renames it over the target, then
// flushes the directory. The rename is the one moment the user's file changes, so a crash, a full
// disk or a failed write at any other moment leaves the old file as it was. A replacement that is
// destroyed without Commit() removes its temporary file. A process killed while writing cannot:
// the temporary's name holds the writing process's id, start time and boot, and the next
// replacement of the same file removes those whose process has ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "file_io.h"

namespace kestrel {

// What becomes of a symbolic link standing under the path to replace.
enum class LinkHandling {
  Follow,   // the file it points to is rewritten and the link stays (a user's own link to an archive)
  Replace,  // the link itself is replaced by the new file and what it points to is never touched
            // (names that come from an archive's table, which must not write through a link)
};

class FileReplacement {
 public:
  // Prepares to replace `path` (which need not exist yet). Symbolic links are followed: the file
  // is rewritten at the link's target and the link stays. An existing file that cannot be opened
  // for writing (a read-only file or medium) is refused with EInOutError before anything is
  // created, since a rename would otherwise replace a file the user protected. A directory under
  // the name is refused the same way. A pipe or device (also /dev/stdout and other names under
  // /dev and /proc) is written straight into: there is no file there to keep. Every error names
  // `path` as given, never the resolved target or the hidden temporary file.
  explicit FileReplacement(const std::string& path);
  // `removeLeftTemporaries` false skips looking for temporaries of ended processes beside the
  // target, for callers that did so for the whole directory already.
  FileReplacement(const std::string& path, LinkHandling links, bool removeLeftTemporaries = true);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // The temporary file to write the new content into.
  BinaryFile& File() { return file_; }
  // The path that Commit() replaces (links resolved) and the temporary file's path.
  const std::string& TargetPath() const { return target_; }
  const std::string& TemporaryPath() const { return temporary_; }

  // Flushes and closes the temporary file, gives it the old file's permission bits (a new file
  // gets the usual 0666 less the umask), renames it over the target and flushes the directory.
  // On failure the temporary file is removed, the target is untouched and EInOutError is thrown.
  void Commit();
  // The slow half of Commit(): flushes and closes the temporary file. It may run on another thread
  // (never two at once on one replacement) while the caller writes other files; Commit() then only
  // renames. On failure the temporary file is removed and EInOutError is thrown.
  void Flush();
  // Commit() for callers that replace many files in one directory: the directory is not flushed
  // here, and the caller calls SyncDirectory once after the last. Until then a crash of the
  // machine may bring back the old file, never a partial new one.
  void CommitLeavingDirectoryUnsynced();
  // Gives up: the temporary file is removed, the target stays. Also what the destructor does.
  void Discard();

 private:
  bool stream_ = false;
  std::string shown_;  // the path as the caller gave it: what every error names
  std::string target_;
  std::string temporary_;
  BinaryFile file_;
  void Rename();

  bool done_ = false;
  bool flushed_ = false;
  bool replacesLink_ = false;
};

// Replaces (or creates) `path` with `size` bytes through a FileReplacement.
void ReplaceFileContents(const std::string& path, const void* data, size_t size);

// Removes the temporaries that replacements in processes which have since ended left in `directory`,
// whatever file they were for. Never throws.
void RemoveTemporariesOfEndedProcesses(const std::string& directory);

// Makes the renames done inside `directory` last across a crash of the machine. Never throws:
// some file systems cannot flush a directory.
void SyncDirectory(const std::string& directory);

// Throws the EInOutError that opening an existing `path` for writing gives, if any. Nothing is
// written. For callers that must refuse before doing long work.
void CheckWritableIfExists(const std::string& path);

// Tests make the rename fail through this seam; it returns the function it replaces.
using RenameFunction = int (*)(const char* from, const char* to);
RenameFunction SetRenameFunctionForTesting(RenameFunction rename);

}  // namespace kestrel
