// What the engine asks of the operating system, in one place: files by handle, paths, directory
// listings and processes. platform_posix.cpp and platform_windows.cpp answer it; nothing else in
// the engine knows which system it runs on. Paths are UTF-8 everywhere. Failures are reported as
// errno values (ENOENT, EACCES, EBUSY for a file another program holds, ...), so one mapping turns
// them into the kit's file errors on every system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::platform {

using FileHandle = intptr_t;
inline constexpr FileHandle kNoFile = -1;

enum class OpenMode {
  Read,
  Write,            // an existing file, not truncated
  Append,           // an existing file, written at its end
  Create,           // created or truncated
  CreateExclusive,  // a new file; EEXIST when anything, a symbolic link too, has the name
};

// kNoFile on failure, with `error` set.
FileHandle Open(const std::string& path, OpenMode mode, int& error);
// Creates or truncates `name` inside `directory`; a symbolic link standing under the name is
// replaced, never written through.
FileHandle CreateInDirectory(const std::string& directory, const std::string& name, int& error);
// Each returns the errno of a failure, or 0.
int Close(FileHandle file);
// Bytes read or written (0 at the end of the file), or -1 with `error` set.
int64_t Read(FileHandle file, void* out, size_t size, int& error);
int64_t ReadAt(FileHandle file, void* out, size_t size, int64_t position, int& error);
int64_t Write(FileHandle file, const void* data, size_t size, int& error);
int Seek(FileHandle file, int64_t position);
int SizeOf(FileHandle file, int64_t& size);
int Truncate(FileHandle file, int64_t length);
// Flushes the file's data to the medium; media that cannot are not an error.
int Sync(FileHandle file);
// Copies inside the kernel where the system can: bytes copied, 0 at the source's end, or -1 when
// this must be done through a buffer instead.
int64_t CopyInKernel(FileHandle from, int64_t& position, FileHandle to, size_t size);

struct PathInfo {
  bool Exists = false;
  bool Regular = false;
  bool Directory = false;
  bool Link = false;  // only when links are not followed
  int64_t Size = 0;
};
PathInfo Inspect(const std::string& path, bool followLinks);
// Both paths name one existing file (`followLast` false: the second path's last name is not
// followed if it is a link).
bool SameFile(const std::string& a, const std::string& b, bool followLast = true);
// Whether the current user may list and enter the directory.
bool CanEnterDirectory(const std::string& path);

// "/" on POSIX; "/\\" on Windows, where both separate.
const char* PathSeparators();
// Whether `path` names a place without the current directory: "/x", and on Windows "C:/x",
// "\\\\server\\share".
bool IsAbsolute(const std::string& path);
// The length of the root a path starts with ("/" or "C:/"), 0 when none.
size_t RootLength(const std::string& path);
std::string CurrentDirectory();
// Links resolved (the whole path if it exists, otherwise its directory and the name kept as it
// is), "" when the directory does not exist either.
std::string ResolvePath(const std::string& absolute);
std::string ResolveDirectoryOf(const std::string& absolute);
// Where a symbolic link points, "" when `path` is none.
std::string LinkTarget(const std::string& path);
// A pipe, a device or a descriptor named by path: written straight into, never replaced.
bool IsStream(const std::string& path);
// Names the system cannot hold as a file (on Windows: CON, AUX, NUL, COM1, "A:B", "x.", ...).
bool IsForbiddenFileName(const std::string& name);

// Names in `directory` ("" is the current one), without "." and "..". Empty when it cannot be read,
// with `error` set.
std::vector<std::string> ListDirectory(const std::string& directory, int& error);
inline std::vector<std::string> ListDirectory(const std::string& directory) {
  int ignored = 0;
  return ListDirectory(directory, ignored);
}
int MakeDirectory(const std::string& path);
// A new directory `prefix` + six unique characters; "" on failure.
std::string MakeUniqueDirectory(const std::string& prefix);
std::string TemporaryFolder();
int RemoveFile(const std::string& path);
int RemoveEmptyDirectory(const std::string& path);
// Renames over an existing file in one step, the new name's data flushed. 0 or -1 with errno set
// (the signature of std::rename, so tests can put a failing one in its place).
int RenameReplacing(const char* from, const char* to);
// The old file's permission bits and owner for the file that replaces it, where the system has them.
void CopyPermissions(const std::string& from, const std::string& to);
void SyncDirectory(const std::string& directory);

// What tells a process apart from any other that ever had its id: its id, its start time and the
// machine's boot; 0 and "0" where the system cannot tell.
struct ProcessMark {
  long long Pid = 0;
  unsigned long long Started = 0;
  std::string Boot = "0";
};
ProcessMark ThisProcess();
const std::string& ThisBoot();
// Whether the process `mark` describes has certainly ended.
bool HasEnded(const ProcessMark& mark);

// The program's arguments in UTF-8, and a console that shows UTF-8 names as they are.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// What every console program's main() makes first: argc and argv replaced by the UTF-8 arguments
// for as long as it lives.
class Utf8Arguments {
 public:
  Utf8Arguments(int& argc, char**& argv) : text_(ProgramArguments(argc, argv)) {
    for (std::string& arg : text_) pointers_.push_back(arg.data());
    pointers_.push_back(nullptr);
    argc = static_cast<int>(text_.size());
    argv = pointers_.data();
  }

 private:
  std::vector<std::string> text_;
  std::vector<char*> pointers_;
};

}  // namespace kestrel::platform
