#include "archive/archive_reader.h"

#include <sys/stat.h>

#include <cerrno>

#include <zlib.h>

#include <algorithm>
#include <new>

#include "archive/file_io.h"
#include "archive/file_replacement.h"
#include "archive/zbuffer.h"

namespace kestrel {

const char* const kExportAllocationFailedMessage =
    "Failed to allocate the needed memory for this operation. \r\nAttempt at exporting the file has been cancelled";

std::string UnsafeEntryNameMessage(const std::string& name) {
  return "Entry \"" + name + "\" was not extracted: its name is not a plain file name";
}

std::string EntryIsTheArchiveMessage(const std::string& name) {
  return "Entry \"" + name + "\" was not extracted: it would overwrite the archive itself";
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

std::vector<uint8_t> DecodeEntryBytes(const TMAS_FileEntry& entry, std::vector<uint8_t> stored) {
  if (entry.IsStored()) return stored;
  const size_t expected = entry.UncompressedSize > 0 ? static_cast<size_t>(entry.UncompressedSize) : 0;
  return DecompressBuffer(stored.data(), stored.size(), expected);
}

std::vector<uint8_t> ReadStoredBytes(const LoadedArchive& archive, size_t index) {
  const TMAS_FileEntry& entry = archive.Table.at(index);
  BinaryFile file = OpenAtEntry(archive, entry);
  std::vector<uint8_t> stored = file.ReadExact(static_cast<size_t>(entry.CompressedSize));
  file.Close();
  return stored;
}

namespace {

// Pieces of this size go from the archive to the output file; an entry never sits in memory whole,
// however far its stream inflates.
constexpr size_t kExtractChunk = size_t{256} << 10;

void CopyStored(BinaryFile& in, size_t size, BinaryFile& out) {
  std::vector<uint8_t> chunk(std::min(size, kExtractChunk));
  while (size > 0) {
    const size_t n = std::min(size, chunk.size());
    in.ReadExact(chunk.data(), n);
    out.WriteAll(chunk.data(), n);
    size -= n;
  }
}

// The same answers as DecompressBuffer: "data error" for damage or a wrong header, "buffer error"
// for a stream cut short; bytes after the end of the stream are never read.
void InflateInto(BinaryFile& in, size_t size, BinaryFile& out) {
  std::vector<uint8_t> input(std::max<size_t>(std::min(size, kExtractChunk), 1));
  std::vector<uint8_t> output(kExtractChunk);
  z_stream zs{};
  int rc = inflateInit(&zs);
  if (rc != Z_OK) throw EZDecompressionError(rc, ZLibErrorText(rc));
  struct End {
    z_stream& zs;
    ~End() { inflateEnd(&zs); }
  } end{zs};

  size_t unread = size;
  for (;;) {
    if (zs.avail_in == 0 && unread > 0) {
      const size_t n = std::min(unread, input.size());
      in.ReadExact(input.data(), n);
      unread -= n;
      zs.next_in = input.data();
      zs.avail_in = static_cast<uInt>(n);
    }
    zs.next_out = output.data();
    zs.avail_out = static_cast<uInt>(output.size());
    rc = inflate(&zs, Z_NO_FLUSH);
    out.WriteAll(output.data(), output.size() - zs.avail_out);
    if (rc == Z_STREAM_END) return;
    if (rc == Z_NEED_DICT) rc = Z_DATA_ERROR;
    if (rc < 0 && rc != Z_BUF_ERROR) throw EZDecompressionError(rc, ZLibErrorText(rc));
    // Input used up, room left, no end of stream: inflate can make no more progress.
    if (zs.avail_in == 0 && unread == 0 && zs.avail_out != 0)
      throw EZDecompressionError(Z_BUF_ERROR, ZLibErrorText(Z_BUF_ERROR));
  }
}

}  // namespace

void ExtractEntry(const LoadedArchive& archive, size_t index, const std::string& name, const std::string& directory,
                  const EngineHooks& hooks) {
  const std::string fileName = UpperCaseAscii(name);
  if (!IsSafeEntryFileName(fileName)) {
    hooks.Say(UnsafeEntryNameMessage(name));
    return;
  }
  const std::string path = JoinPath(directory, fileName);
  if (IsTheArchive(archive, path)) {
    hooks.Say(EntryIsTheArchiveMessage(name));
    return;
  }
  const TMAS_FileEntry& entry = archive.Table.at(index);
  BinaryFile in = OpenAtEntry(archive, entry);

  // The new file takes the old one's place only once it is whole: a read that fails, a full disk
  // or a killed process leaves an earlier copy as it was. A link under the name is replaced, never
  // written through, since the name comes from the archive.
  FileReplacement replacement(path, LinkHandling::Replace);
  const size_t size = static_cast<size_t>(entry.CompressedSize);
  try {
    if (entry.IsStored())
      CopyStored(in, size, replacement.File());
    else
      InflateInto(in, size, replacement.File());
  } catch (const EZLibError& e) {
    hooks.Say(e.what());
    replacement.File().Truncate(0);  // a stream that fails to inflate leaves an empty file
  } catch (const std::bad_alloc&) {
    hooks.Say(kExportAllocationFailedMessage);
    return;  // no file for the entry
  }
  in.Close();
  replacement.Commit();
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
