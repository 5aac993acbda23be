#include "studio/open_archive/entry_access.h"

#include <new>
#include <stdexcept>

#include "archive/archive_reader.h"
#include "archive/file_io.h"
#include "archive/file_replacement.h"
#include "archive/zbuffer.h"

namespace kestrel::studio {

EntryBytes ReadEntryBytes(const OpenArchiveState& state, int index) {
  EntryBytes out;
  if (!FileExists(state.ArchivePath) || index < 0 || index >= state.FileCount()) {
    out.Problem = EntryProblem::NoArchive;
    return out;
  }
  const TMAS_FileEntry& entry = state.Table[static_cast<size_t>(index)];

  try {
    BinaryFile file = BinaryFile::OpenRead(state.ArchivePath);
    const int64_t start = state.DataStart + entry.Offset;
    const char* reason = entry.Offset < 0                                ? "its start is negative"
                         : entry.CompressedSize < 0                      ? "its size is negative"
                         : start + entry.CompressedSize > file.Size() ? "its data runs past the end of the archive"
                                                                         : nullptr;
    if (reason) {
      out.Problem = EntryProblem::ReadFailed;
      out.Message = reason;
      return out;
    }
    file.Seek(start);
    out.Data = DecodeEntryBytes(entry, file.ReadExact(static_cast<size_t>(entry.CompressedSize)));
  } catch (const EInOutError& e) {
    out.Problem = EntryProblem::ReadFailed;
    out.Message = e.what();
  } catch (const EZLibError& e) {
    out.Problem = EntryProblem::Damaged;
    out.Message = e.what();
  } catch (const std::bad_alloc&) {
    out.Problem = EntryProblem::OutOfMemory;
  }
  if (!out.Ok()) out.Data.clear();
  return out;
}

std::vector<uint8_t> EntryDataOrThrow(const OpenArchiveState& state, int index) {
  EntryBytes bytes = ReadEntryBytes(state, index);
  switch (bytes.Problem) {
    case EntryProblem::None: return std::move(bytes.Data);
    case EntryProblem::OutOfMemory: throw std::runtime_error(kNoMemoryForPreview);
    case EntryProblem::Damaged: throw std::runtime_error(bytes.Message);
    case EntryProblem::NoArchive:
    case EntryProblem::ReadFailed: break;
  }
  throw std::runtime_error(kFailedToReadFile);
}

EntryBytes ExtractEntryBytesToFile(const OpenArchiveState& state, int index, const std::string& path) {
  EntryBytes bytes = ReadEntryBytes(state, index);
  if (!bytes.Ok()) return bytes;
  // An existing file is replaced whole or not at all, never left half written.
  ReplaceFileContents(path, bytes.Data.data(), bytes.Data.size());
  return bytes;
}

int FindEntryByName(const OpenArchiveState& state, std::string_view name) {
  for (size_t i = 0; i < state.Table.size(); ++i)
    if (EqualsIgnoreAsciiCase(state.Table[i].Name(), name)) return static_cast<int>(i);
  return -1;
}

}  // namespace kestrel::studio
