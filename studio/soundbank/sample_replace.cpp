// Replacing one sample's data: the whole bank is written anew beside the old one and only a
// complete, flushed copy takes the old one's place.
#include <algorithm>
#include <climits>

#include "archive/byte_reader.h"
#include "archive/file_io.h"
#include "archive/file_replacement.h"
#include "studio/soundbank/sound_bank.h"

namespace kestrel {
namespace {

constexpr size_t kCopyChunk = 1 << 20;

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
  // A bank that is shorter than its samples, damaged or cut short since it was loaded, would be
  // copied into a bank whose offsets miss their data.
  const int64_t length = in.Size();
  if (length < newEnd - delta)
    throw SoundBankError("The sound bank \"" + bank.Path +
                         "\" does not hold all of its last sample's data: it is damaged, or has changed since it was "
                         "loaded.");

  // Refuses a bank that cannot be opened for writing before anything is written.
  FileReplacement replacement(bank.Path);
  BinaryFile& out = replacement.File();

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
  in.Close();
  replacement.Commit();
  bank.Entries = std::move(entries);
}

}  // namespace kestrel
