#include "archive/archive_reader.h"


#include <cerrno>

#include <zlib.h>

#include <algorithm>
#include <deque>
#include <future>
#include <memory>
#include <new>
#include <system_error>

#include "archive/entry_name_encoding.h"
#include "archive/file_io.h"
#include "archive/file_replacement.h"
#include "archive/zbuffer.h"

namespace kestrel {

const char* const kExportAllocationFailedMessage =
    "Failed to allocate the needed memory for this operation. \r\nAttempt at exporting the file has been cancelled";

std::string UnsafeEntryNameMessage(const std::string& name) {
  const std::string fileName = EntryFileName(name);
  if (fileName != "." && fileName != ".." && fileName.find_first_of(std::string("/\\\0", 3)) == std::string::npos &&
      platform::IsForbiddenFileName(fileName))
    return "Entry \"" + PrintableEntryName(name) + "\" was not extracted: Windows does not allow that file name";
  return "Entry \"" + PrintableEntryName(name) + "\" was not extracted: its name is not a plain file name";
}

std::string EntryIsTheArchiveMessage(const std::string& name) {
  return "Entry \"" + PrintableEntryName(name) + "\" was not extracted: it would overwrite the archive itself";
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
  return platform::SameFile(archive.Path, output, false);
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

namespace {

// Copies or inflates the entry into `out`. A stream that fails to inflate leaves `out` empty and
// its message in `messages`; memory that cannot be had is reported and false is returned.
bool DecodeEntryInto(BinaryFile& in, const TMAS_FileEntry& entry, BinaryFile& out, std::vector<std::string>& messages) {
  const size_t size = static_cast<size_t>(entry.CompressedSize);
  try {
    if (entry.IsStored())
      CopyStored(in, size, out);
    else
      InflateInto(in, size, out);
  } catch (const EZLibError& e) {
    messages.push_back(e.what());
    out.Truncate(0);
  } catch (const std::bad_alloc&) {
    messages.push_back(kExportAllocationFailedMessage);
    return false;
  }
  return true;
}

// Writes one entry into a temporary file beside its name, without putting it in place yet. What
// would be reported goes into `messages`; a null result means there is nothing to put in place.
std::unique_ptr<FileReplacement> WriteEntry(const LoadedArchive& archive, size_t index, const std::string& name,
                                            const std::string& directory, std::vector<std::string>& messages,
                                            bool removeLeftTemporaries = true) {
  const std::string fileName = EntryFileName(name);
  if (!IsSafeEntryFileName(fileName)) {
    messages.push_back(UnsafeEntryNameMessage(name));
    return nullptr;
  }
  const std::string path = JoinPath(directory, fileName);
  if (IsTheArchive(archive, path)) {
    messages.push_back(EntryIsTheArchiveMessage(name));
    return nullptr;
  }
  const TMAS_FileEntry& entry = archive.Table.at(index);
  BinaryFile in = OpenAtEntry(archive, entry);

  // The new file takes the old one's place only once it is whole: a read that fails, a full disk
  // or a killed process leaves an earlier copy as it was. A link under the name is replaced, never
  // written through, since the name comes from the archive.
  auto replacement = std::make_unique<FileReplacement>(path, LinkHandling::Replace, removeLeftTemporaries);
  if (!DecodeEntryInto(in, entry, replacement->File(), messages)) return nullptr;
  in.Close();
  return replacement;
}

// An entry written and flushing on a thread of its own, waiting for its turn to take its name.
struct WrittenEntry {
  std::vector<std::string> messages;
  std::unique_ptr<FileReplacement> file;
  int64_t bytes = 0;
  std::future<void> flushed;  // declared last: its end waits for the flush before `file` goes
};

// Flushing a file to the disk is mostly waiting; several at once cost about as much as one. The
// bytes waiting are bounded too: each temporary file stands beside the old file it replaces, and a
// nearly full disk must not fail for a few large entries where one at a time would fit.
constexpr size_t kEntriesFlushingAtOnce = 32;
constexpr int64_t kBytesFlushingAtOnce = int64_t{64} << 20;

std::future<void> StartFlush(FileReplacement& file) {
  try {
    return std::async(std::launch::async, [&file] { file.Flush(); });
  } catch (const std::system_error&) {
    file.Flush();  // no thread to be had: flush here
    return {};
  }
}

// Flushes the directory however ExtractAll ends, so that the renames done so far last.
struct DirectorySyncAtEnd {
  const std::string& directory;
  ~DirectorySyncAtEnd() { SyncDirectory(directory); }
};

}  // namespace

void ExtractEntry(const LoadedArchive& archive, size_t index, const std::string& name, const std::string& directory,
                  const EngineHooks& hooks) {
  std::vector<std::string> messages;
  std::unique_ptr<FileReplacement> file = WriteEntry(archive, index, name, directory, messages);
  for (const std::string& message : messages) hooks.Say(message);
  if (file) file->Commit();
}

void ExtractEntryIntoScratch(const LoadedArchive& archive, size_t index, const std::string& name,
                             const std::string& directory, const EngineHooks& hooks) {
  const std::string fileName = EntryFileName(name);
  if (!IsSafeEntryFileName(fileName)) {
    hooks.Say(UnsafeEntryNameMessage(name));
    return;
  }
  const TMAS_FileEntry& entry = archive.Table.at(index);
  BinaryFile in = OpenAtEntry(archive, entry);
  BinaryFile out = BinaryFile::CreateInDirectory(directory, fileName);
  std::vector<std::string> messages;
  DecodeEntryInto(in, entry, out, messages);
  for (const std::string& message : messages) hooks.Say(message);
  in.Close();
  out.Close();
}

void ExtractAll(const LoadedArchive& archive, const std::string& directory, const EngineHooks& hooks) {
  if (!DirectoryExists(directory)) throw EInOutError(FileErrorKind::PathNotFound, directory);
  const DirectorySyncAtEnd syncAtEnd{directory};
  // Once for the whole directory rather than a look through it for every entry.
  RemoveTemporariesOfEndedProcesses(directory);
  // Entries are written one after another; while later ones are written, earlier ones flush on
  // threads of their own, and then take their names, report and mark progress strictly in table
  // order. The messages, the marks and where a failure ends the run are those of one entry at a
  // time; only the waiting for the disk overlaps.
  std::deque<WrittenEntry> waiting;
  int64_t waitingBytes = 0;
  const auto finishOldest = [&] {
    WrittenEntry entry = std::move(waiting.front());
    waiting.pop_front();
    waitingBytes -= entry.bytes;
    for (const std::string& message : entry.messages) hooks.Say(message);
    if (entry.file) {
      if (entry.flushed.valid()) entry.flushed.get();
      entry.file->CommitLeavingDirectoryUnsynced();
    }
    hooks.Step();
  };
  for (size_t i = 0; i < archive.Table.size(); ++i) {
    WrittenEntry entry;
    try {
      entry.file = WriteEntry(archive, i, archive.Table[i].Name(), directory, entry.messages, false);
      if (entry.file) {
        entry.bytes = entry.file->File().Size();
        entry.flushed = StartFlush(*entry.file);
      }
    } catch (...) {
      // Entries before the failing one are put in place first, as they would have been already.
      while (!waiting.empty()) finishOldest();
      throw;
    }
    waitingBytes += entry.bytes;
    waiting.push_back(std::move(entry));
    while (waiting.size() >= kEntriesFlushingAtOnce || (waitingBytes > kBytesFlushingAtOnce && waiting.size() > 1))
      finishOldest();
  }
  while (!waiting.empty()) finishOldest();
}

bool CreateDirectoryOneLevel(const std::string& path) { return platform::MakeDirectory(path) == 0; }

}  // namespace kestrel
