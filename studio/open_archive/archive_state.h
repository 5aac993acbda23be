// What the studio knows about the archive it has open, and how it reads the header and table.
//
// Plain C++ without Qt: the main window owns one OpenArchiveState for the whole run; the archive
// file itself is never kept open, every read opens and closes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/mas_format.h"

namespace kestrel::studio {

struct OpenArchiveState {
  std::string ArchivePath;  // empty while no archive is open
  TMAS_Header Header;
  std::vector<TMAS_FileEntry> Table;  // Header.FileCount records in file order
  int64_t FileLength = -1;            // -1 before the first open
  int64_t DataStart = 0;
  bool ReadOnlyMedium = false;
  int32_t SelectedEntry = 0;  // 1-based position of the entry last shown; 0 for none
  int32_t ZoomFactor = 1;

  bool IsOpen() const { return !ArchivePath.empty(); }
  int32_t FileCount() const { return static_cast<int32_t>(Table.size()); }
  // Back to "no archive open"; the selection and zoom are not part of the archive.
  void ClearArchive();
};

enum class ArchiveLoadResult {
  Loaded,
  HeaderUnreadable,  // the file cannot be opened, or holds fewer than 24 bytes
  BadMagic,          // not "CUBEMAS4.10"
  TableUnreadable,   // the table of contents runs past the end of the file, or cannot be read
};

struct ArchiveLoad {
  ArchiveLoadResult Result = ArchiveLoadResult::HeaderUnreadable;
  int ErrorCode = 0;  // errno, or 100 when the file ends too early
  TMAS_Header Header;
  std::vector<TMAS_FileEntry> Table;
  int64_t FileLength = -1;
};

// Reads the header and, when its magic is right, the whole table. The table's size is checked
// against the file's length before anything is allocated, so a lying count costs nothing.
ArchiveLoad LoadArchiveTable(const std::string& path);

// Whether the file could be opened for writing; nothing about the file is changed to find out.
bool CanOpenForWriting(const std::string& path);

}  // namespace kestrel::studio
