// File errors that end a console program: a kind (a code) and a text, named in the final report.
#pragma once

#include <stdexcept>
#include <string>

namespace kestrel {

// The codes follow the classic runtime I/O error numbers modders see in reports.
enum class FileErrorKind : int {
  FileNotFound = 2,
  PathNotFound = 3,
  TooManyOpenFiles = 4,
  AccessDenied = 5,
  InvalidName = 123,
  FileInUse = 32,  // another program holds the file open without sharing it (the game running)
  ReadBeyondEnd = 100,
  DiskFull = 101,
  Other = 1000,
};

class EInOutError : public std::runtime_error {
 public:
  // `path` is the file concerned; the message is the kind's text ("File not found", ...).
  // `systemCode` is the operating system's error number when it reported one.
  EInOutError(FileErrorKind kind, std::string path, int systemCode = 0);
  FileErrorKind Kind() const { return kind_; }
  int Code() const { return static_cast<int>(kind_); }
  // The operating system's error number, or the kind's code where the system had none to give
  // (100 for a file that ends too early): what the studio shows as "(Error #n)".
  int SystemCode() const { return systemCode_ ? systemCode_ : Code(); }
  const std::string& Path() const { return path_; }

 private:
  FileErrorKind kind_;
  std::string path_;
  int systemCode_;
};

// "File not found", "File access denied", "Read beyond end of file", "Disk full", ...
std::string FileErrorText(FileErrorKind kind);
// Maps an errno value to a kind.
FileErrorKind FileErrorKindFromErrno(int err);
// The report a console program prints before it exits with status 1, for example
// `I/O error 2: File not found ("/home/me/TRACK.MAS")`.
std::string FileErrorReport(const EInOutError& error);

}  // namespace kestrel
