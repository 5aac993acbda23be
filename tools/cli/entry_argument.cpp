#include "entry_argument.h"

#include <charconv>
#include <vector>

#include "archive/entry_name_encoding.h"
#include "archive/file_error.h"
#include "archive/mas_format.h"
#include "cli_command.h"

namespace kestrel::cli {

std::optional<LoadedArchive> LoadArchiveOrReport(const std::string& path) {
  try {
    return ReadArchiveTable(path);
  } catch (const EInOutError& e) {
    Fail(FileErrorReport(e));
    return std::nullopt;
  }
}

std::function<std::vector<uint8_t>(size_t index)> EntryReader(const LoadedArchive& archive) {
  return [&archive](size_t index) { return DecodeEntryBytes(archive.Table[index], ReadStoredBytes(archive, index)); };
}

std::optional<size_t> ResolveEntryArgument(const LoadedArchive& archive, const std::string& argument) {
  if (argument.size() > 1 && argument[0] == '#') {
    size_t position = 0;
    const char* first = argument.data() + 1;
    const char* last = argument.data() + argument.size();
    const auto [end, ec] = std::from_chars(first, last, position);
    if (ec != std::errc() || end != last) {
      Fail("\"" + argument + "\" is not an entry position (#0, #1, ...)");
      return std::nullopt;
    }
    if (position >= archive.Table.size()) {
      Fail("no entry " + argument + " in " + archive.Path + ": it holds " + std::to_string(archive.Table.size()) +
           " entries, #0 to #" + std::to_string(archive.Table.size() ? archive.Table.size() - 1 : 0));
      return std::nullopt;
    }
    return position;
  }
  std::vector<size_t> matches;
  for (size_t i = 0; i < archive.Table.size(); ++i)
    if (EqualsIgnoreAsciiCase(EntryNameToUtf8(archive.Table[i].Name()), argument)) matches.push_back(i);
  if (matches.empty()) {
    Fail("no entry named " + argument + " in " + archive.Path);
    return std::nullopt;
  }
  if (matches.size() > 1) {
    std::string positions;
    for (size_t i : matches) positions += (positions.empty() ? "#" : ", #") + std::to_string(i);
    Fail(std::to_string(matches.size()) + " entries are named " + argument + " (" + positions +
         "); name one by its position");
    return std::nullopt;
  }
  return matches.front();
}

}  // namespace kestrel::cli
