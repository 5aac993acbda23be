#include "entry_access.h"

#include <sys/stat.h>

#include <new>

#include "archive/file_io.h"
#include "archive/zbuffer.h"
#include "posix_file.h"

namespace kestrel::studio {

EntryBytes ReadEntryBytes(const OpenArchiveState& state, int index) {
  EntryBytes out;
  if (!FileExists(state.ArchivePath) || index < 0 || index >= state.FileCount()) {
    out.Problem = EntryProblem::NoArchive;
    return out;
  }
  const TMAS_FileEntry& entry = state.Table[static_cast<size_t>(index)];

  const Descriptor file(::open(state.ArchivePath.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  const int64_t start = state.DataStart + entry.Offset;
  if (!file.valid() || ::fstat(file.get(), &info) != 0 || entry.Offset < 0 || entry.CompressedSize < 0 ||
      start + entry.CompressedSize > static_cast<int64_t>(info.st_size)) {
    out.Problem = EntryProblem::ReadFailed;
    return out;
  }

  try {
    std::vector<uint8_t> stored(static_cast<size_t>(entry.CompressedSize));
    if (ReadAt(file.get(), stored.data(), stored.size(), start) != 0) {
      out.Problem = EntryProblem::ReadFailed;
      return out;
    }
    if (entry.IsStored()) {
      out.Data = std::move(stored);
    } else {
      const size_t expected = entry.UncompressedSize > 0 ? static_cast<size_t>(entry.UncompressedSize) : 0;
      out.Data = DecompressBuffer(stored.data(), stored.size(), expected);
    }
  } catch (const EZLibError& e) {
    out.Problem = EntryProblem::Damaged;
    out.Message = e.what();
  } catch (const std::bad_alloc&) {
    out.Problem = EntryProblem::OutOfMemory;
  }
  if (!out.Ok()) out.Data.clear();
  return out;
}

EntryBytes ExtractEntryBytesToFile(const OpenArchiveState& state, int index, const std::string& path) {
  EntryBytes bytes = ReadEntryBytes(state, index);
  if (!bytes.Ok()) return bytes;
  WriteWholeFile(path, bytes.Data.data(), bytes.Data.size());
  return bytes;
}

int FindEntryByName(const OpenArchiveState& state, std::string_view name) {
  const std::string wanted = UpperCaseAscii(name);
  for (size_t i = 0; i < state.Table.size(); ++i)
    if (state.Table[i].Name() == wanted) return static_cast<int>(i);
  return -1;
}

}  // namespace kestrel::studio
