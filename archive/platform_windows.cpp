// The platform layer on Windows: the wide-character API inside, UTF-8 at the door.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <random>

#include "archive/platform.h"

namespace kestrel::platform {
namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Utf8(const wchar_t* text, size_t length) {
  if (length == 0) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), n, nullptr, nullptr);
  return utf8;
}

std::string Utf8(const std::wstring& text) { return Utf8(text.data(), text.size()); }

// The errno value the rest of the engine knows for a Windows error.
int ErrnoFrom(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: return ENOENT;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_CURRENT_DIRECTORY: return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE: return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_PARAMETER: return EINVAL;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
    case ERROR_NEGATIVE_SEEK: return EINVAL;
    default: return EIO;
  }
}

int LastErrno() { return ErrnoFrom(GetLastError()); }

HANDLE Native(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

int64_t Position(HANDLE file) {
  LARGE_INTEGER zero{}, at{};
  return SetFilePointerEx(file, zero, &at, FILE_CURRENT) ? at.QuadPart : -1;
}

bool MoveTo(HANDLE file, int64_t position) {
  LARGE_INTEGER to{};
  to.QuadPart = position;
  return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != 0;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

FileHandle Open(const std::string& path, OpenMode mode, int& error) {
  DWORD access = GENERIC_WRITE;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case OpenMode::Read: access = GENERIC_READ; break;
    case OpenMode::Write:
    case OpenMode::Append: break;
    case OpenMode::Create: disposition = CREATE_ALWAYS; break;
    case OpenMode::CreateExclusive: disposition = CREATE_NEW; break;
  }
  const std::wstring wide = Wide(path);
  // Windows refuses a read-only file to writers; asked here too, since Wine run as root would not.
  if (mode != OpenMode::Read && mode != OpenMode::CreateExclusive) {
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      error = EACCES;
      return kNoFile;
    }
  }
  // Others may go on reading and writing, as on POSIX; a program that holds the file without
  // sharing it makes this fail with a sharing violation, which is what tells the user so.
  HANDLE file = CreateFileW(wide.c_str(), access, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    error = code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
                    (attributes & FILE_ATTRIBUTE_DIRECTORY)
                ? EISDIR
                : ErrnoFrom(code);
    return kNoFile;
  }
  if (mode == OpenMode::Append) {
    LARGE_INTEGER zero{};
    SetFilePointerEx(file, zero, nullptr, FILE_END);
  }
  return reinterpret_cast<FileHandle>(file);
}

// Windows links are rare and need rights to make; the name is written as a new file either way.
FileHandle CreateInDirectory(const std::string& directory, const std::string& name, int& error) {
  const std::string path = directory.empty() ? name : directory + "/" + name;
  if (Inspect(path, false).Link) RemoveFile(path);
  return Open(path, OpenMode::Create, error);
}

int Close(FileHandle file) { return CloseHandle(Native(file)) ? 0 : LastErrno(); }

int64_t Read(FileHandle file, void* out, size_t size, int& error) {
  DWORD done = 0;
  const DWORD request = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  if (!ReadFile(Native(file), out, request, &done, nullptr)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    return error = LastErrno(), -1;
  }
  return done;
}

// A read at a position that leaves the file's own position where it was, as pread does.
int64_t ReadAt(FileHandle file, void* out, size_t size, int64_t position, int& error) {
  const int64_t kept = Position(Native(file));
  if (kept < 0 || !MoveTo(Native(file), position)) return error = LastErrno(), -1;
  const int64_t n = Read(file, out, size, error);
  MoveTo(Native(file), kept);
  return n;
}

int64_t Write(FileHandle file, const void* data, size_t size, int& error) {
  DWORD done = 0;
  const DWORD request = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  if (!WriteFile(Native(file), data, request, &done, nullptr)) return error = LastErrno(), -1;
  return done;
}

int Seek(FileHandle file, int64_t position) { return MoveTo(Native(file), position) ? 0 : LastErrno(); }

int SizeOf(FileHandle file, int64_t& size) {
  LARGE_INTEGER value{};
  if (!GetFileSizeEx(Native(file), &value)) return LastErrno();
  size = value.QuadPart;
  return 0;
}

// Like ftruncate, the file's position stays where it was.
int Truncate(FileHandle file, int64_t length) {
  const int64_t kept = Position(Native(file));
  if (kept < 0 || !MoveTo(Native(file), length) || !SetEndOfFile(Native(file))) return LastErrno();
  MoveTo(Native(file), kept);
  return 0;
}

int Sync(FileHandle file) {
  if (FlushFileBuffers(Native(file))) return 0;
  // A file open only for reading has nothing of ours to flush.
  const DWORD code = GetLastError();
  return code == ERROR_ACCESS_DENIED || code == ERROR_INVALID_HANDLE ? 0 : ErrnoFrom(code);
}

int64_t CopyInKernel(FileHandle, int64_t&, FileHandle, size_t) { return -1; }

PathInfo Inspect(const std::string& path, bool followLinks) {
  PathInfo info;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return info;
  info.Exists = true;
  info.Link = !followLinks && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  info.Directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info.Regular = !info.Directory && !(data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE);
  info.Size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return info;
}

bool SameFile(const std::string& a, const std::string& b, bool followLast) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  auto identify = [](const std::string& path, DWORD flags, BY_HANDLE_FILE_INFORMATION& out) {
    HANDLE h = CreateFileW(Wide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, &out) != 0;
    CloseHandle(h);
    return ok;
  };
  return identify(a, 0, ia) && identify(b, followLast ? 0 : FILE_FLAG_OPEN_REPARSE_POINT, ib) &&
         ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}

bool CanEnterDirectory(const std::string& path) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(Wide(path + "/*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

const char* PathSeparators() { return "/\\"; }

size_t RootLength(const std::string& path) {
  // \\server\share\ : the share is the root.
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    size_t end = path.find_first_of("/\\", 2);
    if (end != std::string::npos) end = path.find_first_of("/\\", end + 1);
    return end == std::string::npos ? path.size() : end + 1;
  }
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])))
    return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
  return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

// "C:x" is relative to that drive's current directory; only a root with a separator stands alone.
bool IsAbsolute(const std::string& path) {
  const size_t root = RootLength(path);
  return root > 0 && IsSeparator(path[root - 1]);
}

std::string CurrentDirectory() {
  const DWORD n = GetCurrentDirectoryW(0, nullptr);
  std::wstring wide(n, L'\0');
  const DWORD written = GetCurrentDirectoryW(n, wide.data());
  wide.resize(written);
  return Utf8(wide);
}

namespace {

std::string FullPath(const std::string& path) {
  const std::wstring wide = Wide(path);
  const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return "";
  std::wstring full(n, L'\0');
  const DWORD written = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  full.resize(written);
  return Utf8(full);
}

}  // namespace

std::string ResolvePath(const std::string& absolute) {
  return Inspect(absolute, true).Exists ? FullPath(absolute) : "";
}

std::string ResolveDirectoryOf(const std::string& absolute) {
  const size_t slash = absolute.find_last_of("/\\");
  if (slash == std::string::npos) return "";
  const size_t root = RootLength(absolute);
  const std::string directory = absolute.substr(0, slash < root ? root : slash);
  if (!Inspect(directory, true).Directory) return "";
  std::string full = FullPath(directory);
  if (!full.empty() && !IsSeparator(full.back())) full += '\\';
  return full + absolute.substr(slash + 1);
}

std::string LinkTarget(const std::string&) { return ""; }

bool IsStream(const std::string& path) {
  if (path.rfind("\\\\.\\", 0) == 0 || path.rfind("//./", 0) == 0) return true;
  const size_t slash = path.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // CON, NUL and the other device names are devices in every directory.
  return !name.empty() && name.back() != '.' && name.back() != ' ' && IsForbiddenFileName(name) &&
         name.find_first_of("<>:\"|?*") == std::string::npos;
}

bool IsForbiddenFileName(const std::string& name) {
  if (name.empty()) return false;
  if (name.back() == '.' || name.back() == ' ') return true;
  for (const char c : name)
    if (static_cast<unsigned char>(c) < 32 || std::string("<>:\"|?*").find(c) != std::string::npos) return true;
  // The device names, with any extension ("NUL.txt" is the device too).
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" || stem == "CONOUT$")
    return true;
  return stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) && stem[3] >= '1' &&
         stem[3] <= '9';
}

std::vector<std::string> ListDirectory(const std::string& directory, int& error) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(Wide((directory.empty() ? "." : directory) + "/*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    error = LastErrno();
    return names;
  }
  do {
    const std::string name = Utf8(found.cFileName, wcslen(found.cFileName));
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

int MakeDirectory(const std::string& path) { return CreateDirectoryW(Wide(path).c_str(), nullptr) ? 0 : LastErrno(); }

std::string MakeUniqueDirectory(const std::string& prefix) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = prefix;
    for (int i = 0; i < 6; ++i) path += kLetters[random() % 36];
    if (CreateDirectoryW(Wide(path).c_str(), nullptr)) return path;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return "";
  }
  return "";
}

std::string TemporaryFolder() {
  wchar_t buffer[MAX_PATH + 2];
  const DWORD n = GetTempPathW(MAX_PATH + 2, buffer);
  std::string folder = Utf8(buffer, n);
  while (folder.size() > 3 && IsSeparator(folder.back())) folder.pop_back();
  return folder.empty() ? "." : folder;
}

int RemoveFile(const std::string& path) { return DeleteFileW(Wide(path).c_str()) ? 0 : LastErrno(); }

int RemoveEmptyDirectory(const std::string& path) { return RemoveDirectoryW(Wide(path).c_str()) ? 0 : LastErrno(); }

// The rename is written through before it returns, so no directory needs flushing afterwards.
int RenameReplacing(const char* from, const char* to) {
  if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 0;
  errno = LastErrno();
  return -1;
}

// The attributes a user sees in the file's properties; read-only never gets here (it is refused).
void CopyPermissions(const std::string& from, const std::string& to) {
  const DWORD attributes = GetFileAttributesW(Wide(from).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                   FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  if (kept) SetFileAttributesW(Wide(to).c_str(), kept);
}

void SyncDirectory(const std::string&) {}

const std::string& ThisBoot() {
  static const std::string boot = "0";
  return boot;
}

namespace {

// The process's creation time in 100 ns steps since 1601, 0 when it cannot be told.
unsigned long long CreationTime(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

}  // namespace

ProcessMark ThisProcess() {
  return {static_cast<long long>(GetCurrentProcessId()), CreationTime(GetCurrentProcess()), ThisBoot()};
}

bool HasEnded(const ProcessMark& mark) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(mark.Pid));
  if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;  // no process has that id
  DWORD status = 0;
  const bool ended = (GetExitCodeProcess(process, &status) && status != STILL_ACTIVE) ||
                     (mark.Started != 0 && CreationTime(process) != 0 && CreationTime(process) != mark.Started);
  CloseHandle(process);
  return ended;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  // Output bytes are the same as on Linux: no "\r" added, UTF-8 when redirected, and a console
  // told to show UTF-8 as the names they are.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8(wide[i], wcslen(wide[i])));
  LocalFree(wide);
  return arguments;
}

}  // namespace kestrel::platform
