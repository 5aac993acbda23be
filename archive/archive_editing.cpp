#include "archive/archive_editing.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "archive/entry_name_encoding.h"
#include "archive/file_io.h"
#include "archive/file_replacement.h"
#include "archive/zbuffer.h"

namespace kestrel {
namespace {

std::string EntryLabel(const LoadedArchive& archive, size_t index) {
  return "entry #" + std::to_string(index) + " \"" + PrintableEntryName(archive.Table[index].Name()) + "\"";
}

[[noreturn]] void RefuseLayout(const std::string& what) {
  throw EArchiveEditError("This archive cannot be edited safely: " + what +
                          ". Its entries must lie back to back in table order, as the packers write them.");
}

int64_t DataLength(const LoadedArchive& archive) { return archive.FileLength - archive.DataStart; }

// The rewrites move entry `index` and every entry after it by copying the bytes behind it as one
// block, and keep the bytes before it as another. That is only right when the entries from `index`
// on lie back to back inside the file and nothing before `index` reaches into them.
void CheckMovableFrom(const LoadedArchive& archive, size_t index) {
  const std::vector<TMAS_FileEntry>& table = archive.Table;
  for (size_t j = 0; j < table.size(); ++j)
    if (table[j].Offset < 0 || table[j].CompressedSize < 0)
      RefuseLayout(EntryLabel(archive, j) + " has a negative offset or size");

  const int64_t start = table[index].Offset;
  for (size_t j = 0; j < index; ++j)
    if (int64_t{table[j].Offset} + table[j].CompressedSize > start)
      RefuseLayout(EntryLabel(archive, j) + " reaches past the start of " + EntryLabel(archive, index) + " at " +
                   std::to_string(start));

  int64_t expected = start;
  for (size_t j = index; j < table.size(); ++j) {
    if (table[j].Offset != expected)
      RefuseLayout(EntryLabel(archive, j) + " starts at " + std::to_string(table[j].Offset) + ", not at " +
                   std::to_string(expected) + " where the entry before it ends");
    expected += table[j].CompressedSize;
    if (expected > DataLength(archive))
      RefuseLayout(EntryLabel(archive, j) + " runs past the end of the file");
  }
}

// Offsets and sizes are 32-bit signed in the table.
void CheckRecordable(int64_t newDataLength, const EncodedEntry& content) {
  if (content.UncompressedSize > INT32_MAX || static_cast<int64_t>(content.Stored.size()) > INT32_MAX ||
      newDataLength > INT32_MAX)
    throw EArchiveEditError("The edited archive would hold 2 GiB of data or more, which its table cannot record.");
}

std::vector<uint8_t> EncodeFront(const TMAS_Header& header, const std::vector<TMAS_FileEntry>& table) {
  std::vector<uint8_t> front(static_cast<size_t>(DataStartFor(table.size())));
  EncodeHeader(header, front.data());
  for (size_t i = 0; i < table.size(); ++i) EncodeEntry(table[i], &front[kMasHeaderSize + i * kMasEntrySize]);
  return front;
}

// The old archive, opened for reading, after checking that it is still the file that was loaded:
// same length, same header and table. The new archive is computed from what was loaded, so
// anything else would be rewritten from a description that no longer fits it.
BinaryFile OpenUnchanged(const LoadedArchive& archive) {
  BinaryFile file = BinaryFile::OpenRead(archive.Path);
  const std::vector<uint8_t> loaded = EncodeFront(archive.Header, archive.Table);
  if (file.Size() != archive.FileLength || archive.DataStart != static_cast<int64_t>(loaded.size()) ||
      file.ReadExact(loaded.size()) != loaded)
    throw EArchiveEditError("The archive changed on disk since it was opened; open it again before editing it.");
  return file;
}

// One rewrite: the new front, then pieces of the old data area and new bytes in order.
struct Piece {
  int64_t OldPosition = 0;  // file position in the old archive
  int64_t Length = 0;
  const std::vector<uint8_t>* Bytes = nullptr;  // new bytes instead of old ones
};

// How much is written between two looks at the caller's Cancel: short enough for an answer within
// a moment, long enough that the looks cost nothing.
constexpr int64_t kStepBytes = int64_t{4} << 20;

void WriteArchive(const LoadedArchive& archive, const TMAS_Header& header, const std::vector<TMAS_FileEntry>& table,
                  const std::vector<Piece>& pieces, const RewriteControl& control) {
  BinaryFile old = OpenUnchanged(archive);
  FileReplacement replacement(archive.Path);
  BinaryFile& out = replacement.File();
  const std::vector<uint8_t> front = EncodeFront(header, table);
  int64_t total = static_cast<int64_t>(front.size());
  for (const Piece& piece : pieces) total += piece.Bytes ? static_cast<int64_t>(piece.Bytes->size()) : std::max<int64_t>(piece.Length, 0);
  int64_t written = 0;
  // Throwing leaves the replacement uncommitted: its destructor removes the temporary file.
  const auto step = [&](int64_t bytes) {
    written += bytes;
    if (control.Progress) control.Progress(written, total);
    if (control.CancelRequested && control.CancelRequested()) throw ERewriteCancelled();
  };
  out.WriteAll(front.data(), front.size());
  step(static_cast<int64_t>(front.size()));
  for (const Piece& piece : pieces) {
    if (piece.Bytes) {
      for (size_t at = 0; at < piece.Bytes->size(); at += static_cast<size_t>(kStepBytes)) {
        const size_t length = std::min(piece.Bytes->size() - at, static_cast<size_t>(kStepBytes));
        out.WriteAll(piece.Bytes->data() + at, length);
        step(static_cast<int64_t>(length));
      }
    } else {
      for (int64_t at = 0; at < piece.Length; at += kStepBytes) {
        const int64_t length = std::min(piece.Length - at, kStepBytes);
        out.CopyFrom(old, piece.OldPosition + at, length);  // fixed chunks: memory does not grow with the archive
        step(length);
      }
    }
  }
  old.Close();
  replacement.Commit();
}

std::string ExtensionOf(const std::string& path) {
  const std::string name = FileNameOf(path);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : UpperCaseAscii(name.substr(dot + 1));
}

}  // namespace

EncodedEntry EncodeEntryContent(const std::vector<uint8_t>& content) {
  EncodedEntry encoded;
  encoded.UncompressedSize = static_cast<int64_t>(content.size());
  encoded.Stored = CompressBuffer(content.data(), content.size(), 3);
  // A stream exactly as long as the file would read back as a stored entry: store the file.
  if (encoded.Stored.size() == content.size()) encoded.Stored = content;
  return encoded;
}

std::string AddedEntryName(const std::string& path) {
  StoredName stored = StoredNameForFile(FileNameOf(path));
  if (!stored.Refusal.empty()) throw EArchiveEditError(stored.Refusal + "; nothing was added");
  return stored.Name;
}

int32_t AddedEntryType(const std::string& path) {
  const std::string extension = ExtensionOf(path);
  if (extension == "BMP") return kMasTypeBMP;
  if (extension == "TGA") return kMasTypeTGA;
  if (extension == "MTS") return kMasTypeMTS;
  // A JPEG stored under any other type is not previewed as one.
  if (extension == "JPG" || extension == "JPEG") return kMasTypeJPG;
  return kMasTypeANM;
}

void ReplaceEntry(const LoadedArchive& archive, size_t index, const EncodedEntry& content,
                  const RewriteControl& control) {
  ReplaceEntries(archive, {{index, content}}, control);
}

void ReplaceEntries(const LoadedArchive& archive, const std::vector<EntryReplacement>& replacements,
                    const RewriteControl& control) {
  if (replacements.empty()) return;
  std::vector<const EntryReplacement*> order;
  for (const EntryReplacement& r : replacements) {
    if (r.Index >= archive.Table.size()) throw std::out_of_range("no entry at position " + std::to_string(r.Index));
    order.push_back(&r);
  }
  std::sort(order.begin(), order.end(), [](auto* a, auto* b) { return a->Index < b->Index; });
  for (size_t i = 1; i < order.size(); ++i)
    if (order[i]->Index == order[i - 1]->Index)
      throw std::invalid_argument("entry #" + std::to_string(order[i]->Index) + " is replaced twice");
  CheckMovableFrom(archive, order.front()->Index);

  TMAS_Header header = archive.Header;
  std::vector<TMAS_FileEntry> table = archive.Table;
  // The bytes before the first replaced entry stay; from there on each replaced entry is new bytes,
  // and the entries between two replaced ones are copied as one block.
  std::vector<Piece> pieces{{archive.DataStart, table[order.front()->Index].Offset, nullptr}};
  int64_t delta = 0;
  for (size_t k = 0; k < order.size(); ++k) {
    const size_t index = order[k]->Index;
    const TMAS_FileEntry& old = archive.Table[index];
    const int64_t newSize = static_cast<int64_t>(order[k]->Content.Stored.size());
    table[index].CompressedSize = static_cast<int32_t>(newSize);
    table[index].UncompressedSize = static_cast<int32_t>(order[k]->Content.UncompressedSize);
    pieces.push_back({0, newSize, &order[k]->Content.Stored});
    const int64_t after = archive.DataStart + old.Offset + old.CompressedSize;
    const int64_t until = k + 1 < order.size() ? archive.DataStart + archive.Table[order[k + 1]->Index].Offset
                                               : archive.FileLength;
    pieces.push_back({after, until - after, nullptr});
    delta += newSize - old.CompressedSize;
    CheckRecordable(DataLength(archive), order[k]->Content);
    for (size_t j = index + 1; j < table.size(); ++j)
      table[j].Offset = static_cast<int32_t>(table[j].Offset + newSize - old.CompressedSize);
  }
  CheckRecordable(DataLength(archive) + delta, {});
  header.DataAreaSize = static_cast<uint32_t>(header.DataAreaSize + static_cast<uint32_t>(delta));
  WriteArchive(archive, header, table, pieces, control);
}

void AppendEntry(const LoadedArchive& archive, const std::string& name, int32_t fileType,
                 const EncodedEntry& content, const RewriteControl& control) {
  const int64_t oldDataLength = DataLength(archive);
  CheckRecordable(oldDataLength + static_cast<int64_t>(content.Stored.size()), content);

  TMAS_FileEntry record;
  record.FileType = fileType;
  record.Offset = static_cast<int32_t>(oldDataLength);
  record.UncompressedSize = static_cast<int32_t>(content.UncompressedSize);
  record.CompressedSize = static_cast<int32_t>(content.Stored.size());
  record.Unknown = 0;
  record.SetName(name);

  TMAS_Header header = archive.Header;
  header.FileCount += 1;
  header.DataAreaSize = static_cast<uint32_t>(header.DataAreaSize + content.Stored.size());
  std::vector<TMAS_FileEntry> table = archive.Table;
  table.push_back(record);

  WriteArchive(archive, header, table,
               {{archive.DataStart, oldDataLength, nullptr}, {0, record.CompressedSize, &content.Stored}}, control);
}

void RemoveEntry(const LoadedArchive& archive, size_t index, const RewriteControl& control) {
  RemoveEntries(archive, {index}, control);
}

void RemoveEntries(const LoadedArchive& archive, std::vector<size_t> indexes, const RewriteControl& control) {
  if (indexes.empty()) return;
  std::sort(indexes.begin(), indexes.end());
  for (size_t i = 0; i < indexes.size(); ++i) {
    if (indexes[i] >= archive.Table.size()) throw std::out_of_range("no entry at position " + std::to_string(indexes[i]));
    if (i > 0 && indexes[i] == indexes[i - 1])
      throw std::invalid_argument("entry #" + std::to_string(indexes[i]) + " is removed twice");
  }
  CheckMovableFrom(archive, indexes.front());

  TMAS_Header header = archive.Header;
  std::vector<TMAS_FileEntry> table;
  table.reserve(archive.Table.size() - indexes.size());
  // The bytes before the first removed entry stay; after each removed entry, the entries up to the
  // next removed one (or the end of the file) move up by everything removed so far.
  std::vector<Piece> pieces{{archive.DataStart, archive.Table[indexes.front()].Offset, nullptr}};
  int64_t removed = 0;
  size_t next = 0;
  for (size_t j = 0; j < archive.Table.size(); ++j) {
    const TMAS_FileEntry& entry = archive.Table[j];
    if (next < indexes.size() && indexes[next] == j) {
      removed += entry.CompressedSize;
      ++next;
      const int64_t after = archive.DataStart + entry.Offset + entry.CompressedSize;
      const int64_t until = next < indexes.size() ? archive.DataStart + archive.Table[indexes[next]].Offset
                                                  : archive.FileLength;
      pieces.push_back({after, until - after, nullptr});
      continue;
    }
    table.push_back(entry);
    table.back().Offset = static_cast<int32_t>(entry.Offset - removed);
  }
  header.FileCount -= static_cast<uint32_t>(indexes.size());
  header.DataAreaSize = static_cast<uint32_t>(header.DataAreaSize - static_cast<uint32_t>(removed));
  WriteArchive(archive, header, table, pieces, control);
}

}  // namespace kestrel
