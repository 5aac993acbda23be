#include "archive/archive_reader.h"

#include <sys/stat.h>

#include <cerrno>

#include <new>

#include "archive/file_io.h"
#include "archive/zbuffer.h"

namespace kestrel {

const char* const kExportAllocationFailedMessage =
    "Failed to allocate the needed memory for this operation. \r\nAttempt at exporting the file has been cancelled";

std::string UnsafeEntryNameMessage(const std::string& name) {
  return "Entry \"" + PrintableName(name) + "\" was not extracted: its name is not a plain file name";
}

std::string EntryIsTheArchiveMessage(const std::string& name) {
  return "Entry \"" + PrintableName(name) + "\" was not extracted: it would overwrite the archive itself";
}

LoadedArchive ReadArchiveTable(const std::string& path) {
  LoadedArchive archive;
  archive.Path = AbsolutePath(path);
  BinaryFile file = BinaryFile::OpenRead(archive.Path);
  archive.FileLength = file.Size();

  uint8_t header[kMasHeaderSize];
  file.ReadExact(header, sizeof header);
  archive.Header = DecodeHeader(header);
  archive.DataStart = DataStartFor(archive.Header.FileCount);
  // A count that the file cannot hold is caught here, before the table is reserved.
  if (archive.DataStart > archive.FileLength) throw EInOutError(FileErrorKind::ReadBeyondEnd, archive.Path);

  const std::vector<uint8_t> table = file.ReadExact(kMasEntrySize * archive.Header.FileCount);
  archive.Table.reserve(archive.Header.FileCount);
  for (size_t i = 0; i < archive.Header.FileCount; ++i) archive.Table.push_back(DecodeEntry(&table[i * kMasEntrySize]));
  file.Close();
  return archive;
}

namespace {

// Opens the archive and checks that the entry lies inside it before anything is reserved.
BinaryFile OpenAtEntry(const LoadedArchive& archive, const TMAS_FileEntry& entry) {
  BinaryFile file = BinaryFile::OpenRead(archive.Path);
  const int64_t start = archive.DataStart + entry.Offset;
  if (entry.CompressedSize < 0 || start < 0 || start + entry.CompressedSize > file.Size())
    throw EInOutError(FileErrorKind::ReadBeyondEnd, archive.Path);
  file.Seek(start);
  return file;
}

// lstat for the output: a symbolic link there is replaced, never written through, so only the
// very file matters.
bool IsTheArchive(const LoadedArchive& archive, const std::string& output) {
  struct stat self, st;
  return ::stat(archive.Path.c_str(), &self) == 0 && ::lstat(output.c_str(), &st) == 0 && st.st_dev == self.st_dev &&
         st.st_ino == self.st_ino;
}

}  // namespace

size_t EntryInflateLimit(const TMAS_FileEntry& entry) {
  const size_t recorded = entry.UncompressedSize > 0 ? static_cast<size_t>(entry.UncompressedSize) : 0;
  return 2 * recorded + (size_t{16} << 20);
}

std::string EntryInflatesTooFarMessage(const TMAS_FileEntry& entry, size_t limit) {
  return "The entry inflates to more than " + std::to_string(limit) + " bytes, far beyond the " +
         std::to_string(entry.UncompressedSize) + " bytes its table records; it was not read.";
}

std::vector<uint8_t> DecodeEntryBytes(const TMAS_FileEntry& entry, std::vector<uint8_t> stored) {
  if (entry.IsStored()) return stored;
  const size_t expected = entry.UncompressedSize > 0 ? static_cast<size_t>(entry.UncompressedSize) : 0;
  const size_t limit = EntryInflateLimit(entry);
  try {
    return DecompressBuffer(stored.data(), stored.size(), expected, limit);
  } catch (const EZInflateLimitError&) {
    throw EZInflateLimitError(limit, EntryInflatesTooFarMessage(entry, limit));
  }
}

std::vector<uint8_t> ReadStoredBytes(const LoadedArchive& archive, size_t index) {
  const TMAS_FileEntry& entry = archive.Table.at(index);
  BinaryFile file = OpenAtEntry(archive, entry);
  std::vector<uint8_t> stored = file.ReadExact(static_cast<size_t>(entry.CompressedSize));
  file.Close();
  return stored;
}

void ExtractEntry(const LoadedArchive& archive, size_t index, const std::string& name, const std::string& directory,
                  const EngineHooks& hooks) {
  const std::string fileName = UpperCaseAscii(name);
  if (!IsSafeEntryFileName(fileName)) {
    hooks.Say(UnsafeEntryNameMessage(name));
    return;
  }
  if (IsTheArchive(archive, JoinPath(directory, fileName))) {
    hooks.Say(EntryIsTheArchiveMessage(name));
    return;
  }
  const TMAS_FileEntry& entry = archive.Table.at(index);
  BinaryFile in = OpenAtEntry(archive, entry);
  std::vector<uint8_t> stored;
  try {
    stored.resize(static_cast<size_t>(entry.CompressedSize));
  } catch (const std::bad_alloc&) {
    hooks.Say(kExportAllocationFailedMessage);
    return;
  }

  // The entry is read before its file is created, so that a read that fails never empties a file
  // an earlier run extracted.
  in.ReadExact(stored.data(), stored.size());
  in.Close();
  BinaryFile out = BinaryFile::CreateInDirectory(directory, fileName);

  std::vector<uint8_t> decoded;
  try {
    decoded = DecodeEntryBytes(entry, std::move(stored));
  } catch (const EZLibError& e) {
    hooks.Say(e.what());  // the file stays empty
    out.Close();
    return;
  } catch (const std::bad_alloc&) {
    hooks.Say(kExportAllocationFailedMessage);
    out.Close();
    return;
  }
  out.WriteAll(decoded.data(), decoded.size());
  out.Close();
}

void ExtractAll(const LoadedArchive& archive, const std::string& directory, const EngineHooks& hooks) {
  if (!DirectoryExists(directory)) throw EInOutError(FileErrorKind::PathNotFound, directory);
  for (size_t i = 0; i < archive.Table.size(); ++i) {
    ExtractEntry(archive, i, archive.Table[i].Name(), directory, hooks);
    hooks.Step();
  }
}

bool CreateDirectoryOneLevel(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

}  // namespace kestrel
