#include "archive_state.h"

#include <sys/stat.h>

#include "posix_file.h"

namespace kestrel::studio {

void OpenArchiveState::ClearArchive() {
  ArchivePath.clear();
  Header = TMAS_Header{};
  Table.clear();
  Table.shrink_to_fit();
  FileLength = -1;
  DataStart = 0;
}

ArchiveLoad LoadArchiveTable(const std::string& path) {
  ArchiveLoad load;
  const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) {
    load.ErrorCode = errno;
    return load;
  }
  uint8_t headerBytes[kMasHeaderSize];
  if (const int code = ReadAt(file.get(), headerBytes, sizeof headerBytes, 0)) {
    load.ErrorCode = code;
    return load;
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) {
    load.ErrorCode = errno;
    return load;
  }
  load.FileLength = static_cast<int64_t>(info.st_size);
  load.Header = DecodeHeader(headerBytes);
  if (!load.Header.HasCurrentMagic()) {
    load.Result = ArchiveLoadResult::BadMagic;
    return load;
  }

  const uint64_t count = load.Header.FileCount;
  const uint64_t tableBytes = count * kMasEntrySize;
  if (static_cast<uint64_t>(load.FileLength) < kMasHeaderSize + tableBytes) {
    load.Result = ArchiveLoadResult::TableUnreadable;
    load.ErrorCode = kReadBeyondEndCode;
    return load;
  }
  std::vector<uint8_t> tableData(static_cast<size_t>(tableBytes));
  if (const int code = ReadAt(file.get(), tableData.data(), tableData.size(), kMasHeaderSize)) {
    load.Result = ArchiveLoadResult::TableUnreadable;
    load.ErrorCode = code;
    return load;
  }
  load.Table.reserve(static_cast<size_t>(count));
  for (uint64_t i = 0; i < count; ++i) load.Table.push_back(DecodeEntry(tableData.data() + i * kMasEntrySize));
  load.Result = ArchiveLoadResult::Loaded;
  return load;
}

bool CanOpenForWriting(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

}  // namespace kestrel::studio
