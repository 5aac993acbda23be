// What "Import image from file" and "Export image to file" do beyond copying bytes: a picture of
// another format converted into the image entry's own, and an entry written out as PNG.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "archive/mas_format.h"

namespace kestrel::studio {

class StudioDialogs;

struct ImageImport {
  std::vector<uint8_t> Bytes;  // the entry's new bytes
  QString Notice;              // what the user should know about the conversion; empty for nothing
  bool Unchanged = false;      // the picture's pixels are the entry's present pixels: nothing to write
};

// The bytes image entry `entry` gets from the file at `filePath`, or nothing when the import is
// refused or the user declines, after any message that needs. A file of the entry's own kind is
// taken byte for byte; any other picture is decoded and encoded like the entry, whose present bytes
// `readEntry` gives (or nothing, after its own message). A picture of another size than the
// entry's is imported only when the user agrees.
std::optional<ImageImport> PrepareImageImport(StudioDialogs& dialogs, const QString& filePath,
                                              std::vector<uint8_t> fileBytes, const TMAS_FileEntry& entry,
                                              const std::function<std::optional<std::vector<uint8_t>>()>& readEntry);

// Whether an export to `filePath` writes PNG rather than the entry's own bytes.
bool IsPngFileName(const QString& filePath);
// Writes image entry `entry`, whose bytes are `entryBytes`, to `filePath` as PNG; false after
// telling the user why the entry cannot be read. A file that cannot be written throws EInOutError.
bool ExportImageEntryAsPng(StudioDialogs& dialogs, const TMAS_FileEntry& entry,
                           const std::vector<uint8_t>& entryBytes, const QString& filePath);

}  // namespace kestrel::studio
