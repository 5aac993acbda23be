// A small RAII file over the system's file handles whose every failure is an EInOutError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "file_error.h"
#include "platform.h"

namespace kestrel {

class BinaryFile {
 public:
  static BinaryFile OpenRead(const std::string& path);
  // Opens for writing in place (the file must exist), or creates/truncates.
  static BinaryFile OpenWrite(const std::string& path);
  static BinaryFile Create(const std::string& path);
  // Opens an existing file for writing at its end.
  static BinaryFile OpenAppend(const std::string& path);
  // Creates or truncates `name` inside `directory`. A symbolic link standing under that name is
  // replaced by the new file, never written through.
  static BinaryFile CreateInDirectory(const std::string& directory, const std::string& name);
  // Creates a new file that must not exist yet, not even as a symbolic link (EEXIST otherwise).
  static BinaryFile CreateExclusive(const std::string& path);
  // A file that is not open; what a moved-from or discarded file becomes.
  static BinaryFile Closed() { return BinaryFile(platform::kNoFile, std::string()); }

  BinaryFile(BinaryFile&& other) noexcept;
  BinaryFile& operator=(BinaryFile&& other) noexcept;
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;
  ~BinaryFile();

  int64_t Size() const;
  void Seek(int64_t position);
  // Reads exactly `size` bytes; a short read is "Read beyond end of file".
  void ReadExact(void* out, size_t size);
  std::vector<uint8_t> ReadExact(size_t size);
  // Writes all bytes; no room left is "Disk full".
  void WriteAll(const void* data, size_t size);
  // Appends `length` bytes of `source` from `position` on, in chunks of fixed size: in the kernel
  // where the file system allows it, else through a buffer of 1 MiB. Memory stays small whatever
  // the length. A source that ends early is "Read beyond end of file".
  void CopyFrom(BinaryFile& source, int64_t position, int64_t length);
  void Truncate(int64_t length);
  void Sync();
  // Closes and reports a failed close; the destructor closes silently.
  void Close();
  const std::string& Path() const { return path_; }
  // The path that this file's errors name, where the user knows the file by another name (a
  // hidden temporary that will replace their file).
  void NameInErrors(std::string path) { path_ = std::move(path); }

 private:
  BinaryFile(platform::FileHandle fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  platform::FileHandle fd_ = platform::kNoFile;
  std::string path_;
};

bool FileExists(const std::string& path);       // a regular file (symbolic links followed)
bool DirectoryExists(const std::string& path);
// Both paths name one existing file, links followed: writing one would write the other.
bool IsSameFile(const std::string& a, const std::string& b);
std::vector<uint8_t> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const void* data, size_t size);

// Path helpers for '/'-separated paths (on Windows a backslash separates too, and drive letters and
// UNC names are roots).
std::string AbsolutePath(const std::string& path);  // against the current directory, not resolving links
std::string DirectoryOf(const std::string& path);   // "" for a bare name; "/" for "/x"
std::string FileNameOf(const std::string& path);
std::string JoinPath(const std::string& directory, const std::string& name);
// Replaces the extension (from the last dot of the file name) by `extension` (with its dot);
// appends it when the name has none.
std::string ReplaceExtension(const std::string& path, const std::string& extension);

// A name that can be written inside a directory without leaving it: not empty, ".", "..",
// and holding neither '/' nor '\\' nor a zero byte; nor, on Windows, a name Windows forbids
// (CON, AUX, NUL, COM1, LPT1, a trailing dot or space, < > : " | ? * and control characters).
bool IsSafeEntryFileName(const std::string& name);

}  // namespace kestrel
