#include "studio/open_archive/archive_state.h"


#include "archive/file_io.h"
#include "archive/file_replacement.h"

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
  try {
    BinaryFile file = BinaryFile::OpenRead(path);
    uint8_t headerBytes[kMasHeaderSize];
    file.ReadExact(headerBytes, sizeof headerBytes);
    load.FileLength = file.Size();
    load.Header = DecodeHeader(headerBytes);
    if (!load.Header.HasCurrentMagic()) {
      load.Result = ArchiveLoadResult::BadMagic;
      return load;
    }

    load.Result = ArchiveLoadResult::TableUnreadable;
    const uint64_t count = load.Header.FileCount;
    if (static_cast<uint64_t>(load.FileLength) < kMasHeaderSize + count * kMasEntrySize)
      throw EInOutError(FileErrorKind::ReadBeyondEnd, path);
    const std::vector<uint8_t> tableData = file.ReadExact(static_cast<size_t>(count * kMasEntrySize));
    load.Table.reserve(static_cast<size_t>(count));
    for (uint64_t i = 0; i < count; ++i) load.Table.push_back(DecodeEntry(tableData.data() + i * kMasEntrySize));
    load.Result = ArchiveLoadResult::Loaded;
  } catch (const EInOutError& e) {
    load.ErrorCode = e.SystemCode();
  }
  return load;
}

// The same question the rewrites ask before they write, so that an archive the studio takes for
// writable is one an edit will not refuse. It opens the file as the effective user would, unlike
// access(), which answers for the real user.
bool CanOpenForWriting(const std::string& path) {
  try {
    CheckWritableIfExists(path);
    return true;
  } catch (const EInOutError&) {
    return false;
  }
}

}  // namespace kestrel::studio
