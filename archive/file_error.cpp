#include "archive/file_error.h"

#include <cerrno>

namespace kestrel {

std::string FileErrorText(FileErrorKind kind) {
  switch (kind) {
    case FileErrorKind::FileNotFound: return "File not found";
    case FileErrorKind::PathNotFound: return "Path not found";
    case FileErrorKind::TooManyOpenFiles: return "Too many open files";
    case FileErrorKind::AccessDenied: return "File access denied";
    case FileErrorKind::InvalidName: return "Invalid file name";
    case FileErrorKind::ReadBeyondEnd: return "Read beyond end of file";
    case FileErrorKind::DiskFull: return "Disk full";
    case FileErrorKind::FileInUse: return "File in use by another program";
    case FileErrorKind::Other: break;
  }
  return "I/O error";
}

EInOutError::EInOutError(FileErrorKind kind, std::string path, int systemCode)
    : std::runtime_error(FileErrorText(kind)), kind_(kind), path_(std::move(path)), systemCode_(systemCode) {}

FileErrorKind FileErrorKindFromErrno(int err) {
  switch (err) {
    case ENOENT: return FileErrorKind::FileNotFound;
    case ENOTDIR: return FileErrorKind::PathNotFound;
    case EMFILE:
    case ENFILE: return FileErrorKind::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return FileErrorKind::AccessDenied;
    case ENAMETOOLONG:
    case EINVAL:
    case ELOOP: return FileErrorKind::InvalidName;
    case EBUSY: return FileErrorKind::FileInUse;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG: return FileErrorKind::DiskFull;
    default: return FileErrorKind::Other;
  }
}

std::string FileErrorReport(const EInOutError& error) {
  std::string report = "I/O error " + std::to_string(error.Code()) + ": " + error.what();
  if (!error.Path().empty()) report += " (\"" + error.Path() + "\")";
  return report;
}

}  // namespace kestrel
