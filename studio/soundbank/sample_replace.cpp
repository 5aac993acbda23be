// Replacing one sample's data: the whole bank is written anew beside the old one and only a
// complete, flushed copy takes the old one's place.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "archive/byte_reader.h"
#include "archive/file_io.h"
#include "studio/soundbank/sound_bank.h"

namespace kestrel {
namespace {

constexpr const char* kTemporaryName = "temp$$$.sdt";
constexpr size_t kCopyChunk = 1 << 20;

// Removes the temporary file unless the rewrite got as far as renaming it over the bank.
class TemporaryFileGuard {
 public:
  explicit TemporaryFileGuard(std::string path) : path_(std::move(path)) {}
  ~TemporaryFileGuard() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFileGuard(const TemporaryFileGuard&) = delete;
  TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;
  void Keep() { path_.clear(); }

 private:
  std::string path_;
};

void CopyRange(BinaryFile& in, BinaryFile& out, int64_t from, int64_t length) {
  in.Seek(from);
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(length, kCopyChunk)));
  while (length > 0) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(buffer.size())));
    in.ReadExact(buffer.data(), n);
    out.WriteAll(buffer.data(), n);
    length -= static_cast<int64_t>(n);
  }
}

std::vector<uint8_t> EncodeEntryHeader(const TSDT_Entry& e) {
  ByteWriter w;
  w.I32(e.DataOffset);
  w.I32(e.DataSize);
  w.Raw(e.Name.data(), e.Name.size());
  for (uint32_t v : e.Extra) w.U32(v);
  return std::move(w.Bytes());
}

// A file left behind by an interrupted rewrite is ours to delete; a folder or anything else under
// the name is not, and makes the creation below fail instead.
void RemoveStaleTemporaryFile(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) ::unlink(path.c_str());
}

}  // namespace

void ReplaceSampleData(SoundBank& bank, size_t index, const std::vector<uint8_t>& data) {
  CheckSampleIndex(bank, index);
  CheckRewriteLayout(bank);

  const TSDT_Entry& old = bank.Entries[index];
  const int64_t delta = static_cast<int64_t>(data.size()) - old.DataSize;
  const TSDT_Entry& last = bank.Entries.back();
  const int64_t newEnd = static_cast<int64_t>(last.EntryOffset) + last.DataOffset + last.DataSize + delta;
  if (data.size() > static_cast<size_t>(INT32_MAX) || newEnd > INT32_MAX)
    throw SoundBankError("The new data would make the sound bank larger than its 32-bit offsets can address.");

  // The new directory is worked out aside and only becomes the bank's once the file is in place.
  std::vector<TSDT_Entry> entries = bank.Entries;
  entries[index].DataSize = static_cast<int32_t>(data.size());
  for (size_t j = index + 1; j < entries.size(); ++j)
    entries[j].EntryOffset = static_cast<int32_t>(entries[j].EntryOffset + delta);

  BinaryFile in = BinaryFile::OpenRead(bank.Path);
  // A bank cut short since it was loaded would be copied into a bank whose offsets miss their data.
  const int64_t length = in.Size();
  if (length < newEnd - delta)
    throw SoundBankError("The sound bank \"" + bank.Path + "\" has changed since it was loaded; load it again.");

  const std::string folder = DirectoryOf(bank.Path);
  const std::string temporaryPath = JoinPath(folder, kTemporaryName);
  RemoveStaleTemporaryFile(temporaryPath);
  BinaryFile out = BinaryFile::CreateInDirectory(folder, kTemporaryName);
  TemporaryFileGuard guard(temporaryPath);

  CopyRange(in, out, 0, old.EntryOffset);
  const std::vector<uint8_t> header = EncodeEntryHeader(entries[index]);
  out.WriteAll(header.data(), header.size());
  out.WriteAll(data.data(), data.size());
  if (index + 1 < bank.Count()) {
    // Everything from the next entry on, bytes after the last sample's data included.
    const int64_t tailStart = bank.Entries[index + 1].EntryOffset;
    CopyRange(in, out, tailStart, length - tailStart);
  }
  ByteWriter directory;
  for (const TSDT_Entry& e : entries) directory.I32(e.EntryOffset);
  out.Seek(4);
  out.WriteAll(directory.Bytes().data(), directory.Size());
  out.Sync();
  out.Close();
  in.Close();

  struct stat st;
  if (::stat(bank.Path.c_str(), &st) == 0) ::chmod(temporaryPath.c_str(), st.st_mode & 07777);
  if (::rename(temporaryPath.c_str(), bank.Path.c_str()) != 0)
    throw EInOutError(FileErrorKindFromErrno(errno), bank.Path);
  guard.Keep();
  bank.Entries = std::move(entries);
}

}  // namespace kestrel
