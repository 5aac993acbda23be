// Names inside an archive are 8-bit text in the games' Windows code page, Windows-1252; file names
// on this system are UTF-8. Every name that crosses between the two goes through here, so that an
// extracted "CAFÉ.TGA" is a file of that name and packs back to the same bytes.
//
// The five bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90 and 0x9D) read as the C1
// control characters of the same number, as Windows' own conversion reads them: every byte string
// is some text, and that text converts back to the same bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// The name as UTF-8 text. Never fails.
std::string EntryNameToUtf8(std::string_view entryName);
// The UTF-8 text as Windows-1252 bytes; none when the text is not UTF-8 or holds a character
// Windows-1252 has no byte for (Cyrillic or CJK letters, a zero character).
std::optional<std::string> Utf8ToEntryName(std::string_view utf8);

// The file an entry is written to: its name with a to z upper-cased, as UTF-8.
std::string EntryFileName(std::string_view entryName);
// An entry's name for messages and listings: UTF-8, control characters shown as "\xNN".
std::string PrintableEntryName(std::string_view entryName);

// The name a file gets as an entry: its file name (no folder) as Windows-1252, a to z upper-cased.
// A file name Windows-1252 cannot hold, or one that would take more than the 236 bytes a record
// has room for, gets no name but a Refusal that names the file and says why.
struct StoredName {
  std::string Name;
  std::string Refusal;  // empty when Name holds the name
};
StoredName StoredNameForFile(std::string_view fileName);

}  // namespace kestrel
