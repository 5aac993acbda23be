// An archive file as a user might open it: header and table, the table-of-contents listing, and
// every entry read back as the console tools and the studio's previews read it.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "archive/archive_reader.h"
#include "archive/file_error.h"
#include "studio/open_archive/entry_access.h"
#include "fuzz/memory_file.h"
#include "studio/open_archive/table_of_contents.h"

using namespace kestrel;

namespace {

void ReadWithTheEngine(const std::string& path) {
  LoadedArchive archive;
  try {
    archive = ReadArchiveTable(path);
  } catch (const EInOutError&) {
    return;
  }
  for (size_t i = 0; i < archive.Table.size() && i < fuzz::kMaxEntriesRead; ++i) {
    try {
      DecodeEntryBytes(archive.Table[i], ReadStoredBytes(archive, i));
    } catch (const std::exception&) {
      // A refused entry is an answer; only crashes, leaks and undefined behaviour are findings.
    }
  }
}

void ReadWithTheStudio(const std::string& path) {
  const studio::ArchiveLoad load = studio::LoadArchiveTable(path);
  if (load.Result != studio::ArchiveLoadResult::Loaded) return;
  studio::OpenArchiveState state;
  state.ArchivePath = path;
  state.Header = load.Header;
  state.Table = load.Table;
  state.FileLength = load.FileLength;
  state.DataStart = DataStartFor(load.Table.size());
  const std::string listing = studio::FormatTableOfContents("FUZZ.MAS", state);
  for (int i = 0; i < state.FileCount() && i < static_cast<int>(fuzz::kMaxEntriesRead); ++i)
    studio::ReadEntryBytes(state, i);
  if (listing.empty()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fuzz::MemoryFile file(data, size);
  ReadWithTheEngine(file.Path());
  ReadWithTheStudio(file.Path());
  return 0;
}
