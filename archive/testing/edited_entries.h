// Entries for the test-side writer that match what the archive's edits write, so that an edited
// archive can be compared byte for byte with one the writer makes.
#pragma once

#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/testing/mas_builder.h"

namespace kestrel::testing {

// An entry with every table field the edits keep: its type and its Unknown value.
inline TestEntry Entry(std::string name, std::vector<uint8_t> data, int32_t type, int32_t unknown,
                       bool stored = false) {
  TestEntry e(std::move(name), std::move(data), type, stored);
  e.Unknown = unknown;
  return e;
}

// The entry as the edits store `data`: a level-9 stream, or the data as is where that stream would
// be exactly as long as the data (it would read back as a stored entry).
inline TestEntry Encoded(std::string name, const std::vector<uint8_t>& data, int32_t type, int32_t unknown) {
  return Entry(std::move(name), data, type, unknown, Deflate(data).size() == data.size());
}

// Name, type and decoded bytes of every entry of the archive at `path`, in table order: what two
// archives must share when only their Unknown values and the layout of their bytes may differ.
using DecodedEntries = std::vector<std::tuple<std::string, int32_t, std::vector<uint8_t>>>;
inline DecodedEntries DecodedEntriesOf(const std::string& path) {
  const LoadedArchive archive = ReadArchiveTable(path);
  DecodedEntries out;
  for (size_t i = 0; i < archive.Table.size(); ++i)
    out.emplace_back(archive.Table[i].Name(), archive.Table[i].FileType,
                     DecodeEntryBytes(archive.Table[i], ReadStoredBytes(archive, i)));
  return out;
}

}  // namespace kestrel::testing
