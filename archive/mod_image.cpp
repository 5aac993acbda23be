#include "archive/mod_image.h"

#include <algorithm>

namespace kestrel {

struct ImageSources::Source {
  BinaryFile File = BinaryFile::Closed();
  std::vector<uint8_t> Bytes;
  bool InMemory = false;
};

size_t ImageSources::OpenFile(const std::string& path) {
  auto source = std::make_shared<Source>();
  source->File = BinaryFile::OpenRead(path);
  sources_.push_back(source);
  return sources_.size() - 1;
}

size_t ImageSources::AddBytes(std::vector<uint8_t> bytes) {
  auto source = std::make_shared<Source>();
  source->Bytes = std::move(bytes);
  source->InMemory = true;
  sources_.push_back(source);
  return sources_.size() - 1;
}

int64_t ImageSources::Size(size_t i) {
  Source& s = *sources_.at(i);
  return s.InMemory ? static_cast<int64_t>(s.Bytes.size()) : s.File.Size();
}

std::vector<uint8_t> ImageSources::Read(size_t i, int64_t position, size_t length) {
  Source& s = *sources_.at(i);
  if (!s.InMemory) {
    s.File.Seek(position);
    return s.File.ReadExact(length);
  }
  if (position < 0 || position + static_cast<int64_t>(length) > static_cast<int64_t>(s.Bytes.size()))
    throw EInOutError(FileErrorKind::ReadBeyondEnd, "");
  return std::vector<uint8_t>(s.Bytes.begin() + position, s.Bytes.begin() + position + static_cast<int64_t>(length));
}

void ImageSources::CloseFiles() {
  for (const std::shared_ptr<Source>& s : sources_)
    if (!s->InMemory) s->File.Close();
}

void ImageSources::CopyTo(BinaryFile& out, size_t i, int64_t position, int64_t length) {
  Source& s = *sources_.at(i);
  if (!s.InMemory) return out.CopyFrom(s.File, position, length);
  const std::vector<uint8_t> bytes = Read(i, position, static_cast<size_t>(length));
  out.WriteAll(bytes.data(), bytes.size());
}

ArchiveImage ArchiveImage::Whole(ImageSources& sources, size_t source) {
  ArchiveImage image;
  image.Add({source, 0, sources.Size(source)});
  return image;
}

void ArchiveImage::Add(const ImagePiece& piece) {
  if (piece.Length <= 0) return;
  if (!Pieces.empty()) {
    ImagePiece& last = Pieces.back();
    if (last.Source == piece.Source && last.Position + last.Length == piece.Position) {
      last.Length += piece.Length;
      Length += piece.Length;
      return;
    }
  }
  Pieces.push_back(piece);
  Length += piece.Length;
}

void ArchiveImage::Add(const ArchiveImage& image, int64_t position, int64_t length) {
  int64_t start = 0;
  for (const ImagePiece& p : image.Pieces) {
    const int64_t from = std::max(position, start), to = std::min(position + length, start + p.Length);
    if (from < to) Add({p.Source, p.Position + (from - start), to - from});
    start += p.Length;
    if (start >= position + length) break;
  }
}

ArchiveImage ArchiveImage::Slice(int64_t position, int64_t length) const {
  if (position < 0 || length < 0 || position + length > Length) throw EInOutError(FileErrorKind::ReadBeyondEnd, "");
  ArchiveImage slice;
  slice.Add(*this, position, length);
  return slice;
}

std::vector<uint8_t> ReadImage(ImageSources& sources, const ArchiveImage& image, int64_t position, int64_t length) {
  std::vector<uint8_t> out;
  for (const ImagePiece& p : image.Slice(position, length).Pieces) {
    const std::vector<uint8_t> part = sources.Read(p.Source, p.Position, static_cast<size_t>(p.Length));
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

void HashImage(Sha256& hash, ImageSources& sources, const ArchiveImage& image) {
  for (const ImagePiece& p : image.Pieces)
    for (int64_t done = 0; done < p.Length;) {
      const int64_t step = std::min<int64_t>(p.Length - done, 1 << 20);
      hash.Add(sources.Read(p.Source, p.Position + done, static_cast<size_t>(step)));
      done += step;
    }
}

void WriteImage(BinaryFile& out, ImageSources& sources, const ArchiveImage& image) {
  for (const ImagePiece& p : image.Pieces) sources.CopyTo(out, p.Source, p.Position, p.Length);
}

bool ImageTable::EntryInside(size_t i, int64_t length) const {
  const TMAS_FileEntry& e = Table[i];
  return e.Offset >= 0 && e.CompressedSize >= 0 && DataStart + e.Offset + e.CompressedSize <= length;
}

ImageTable ReadImageTable(ImageSources& sources, const ArchiveImage& image) {
  ImageTable t;
  const std::vector<uint8_t> header = ReadImage(sources, image, 0, kMasHeaderSize);
  t.Header = DecodeHeader(header.data());
  t.DataStart = DataStartFor(t.Header.FileCount);
  if (t.DataStart > image.Length) throw EInOutError(FileErrorKind::ReadBeyondEnd, "");
  const std::vector<uint8_t> table = ReadImage(sources, image, kMasHeaderSize, t.DataStart - kMasHeaderSize);
  for (size_t i = 0; i < t.Header.FileCount; ++i) t.Table.push_back(DecodeEntry(&table[i * kMasEntrySize]));
  return t;
}

ArchiveImage BuildArchiveImage(ImageSources& sources, TMAS_Header header, std::vector<ImageEntry> entries,
                               ImageTable& table) {
  table = ImageTable();
  int64_t offset = 0;
  for (ImageEntry& e : entries) {
    e.Record.Offset = static_cast<int32_t>(offset);
    e.Record.CompressedSize = static_cast<int32_t>(e.Stored.Length);
    offset += e.Stored.Length;
    table.Table.push_back(e.Record);
  }
  header.FileCount = static_cast<uint32_t>(entries.size());
  header.DataAreaSize = static_cast<uint32_t>(offset);
  table.Header = header;
  table.DataStart = DataStartFor(entries.size());
  std::vector<uint8_t> front(static_cast<size_t>(table.DataStart));
  EncodeHeader(header, front.data());
  for (size_t i = 0; i < entries.size(); ++i) EncodeEntry(table.Table[i], &front[kMasHeaderSize + i * kMasEntrySize]);
  ArchiveImage image;
  image.Add({sources.AddBytes(std::move(front)), 0, table.DataStart});
  for (const ImageEntry& e : entries) image.Add(e.Stored, 0, e.Stored.Length);
  return image;
}

namespace {

ArchiveIdentity IdentityOf(ImageSources& sources, const ArchiveImage& image,
                           std::vector<std::pair<int64_t, int64_t>> ranges) {
  ArchiveIdentity id;
  id.Length = image.Length;
  Sha256 hash;
  for (const auto& [position, length] : ranges) {
    if (length <= 0) continue;
    if (!id.Ranges.empty() && id.Ranges.back().first + id.Ranges.back().second == position)
      id.Ranges.back().second += length;
    else
      id.Ranges.emplace_back(position, length);
    HashImage(hash, sources, image.Slice(position, length));
  }
  id.Sha256 = hash.HexDigest();
  return id;
}

}  // namespace

RevertPlan PlanRevert(ImageSources& sources, const ArchiveImage& before, const ImageTable& bt,
                      const ArchiveImage& after, const ImageTable& at, const std::vector<size_t>& mapped) {
  struct Copy {
    int64_t From, To, Length;  // position in `before`, position in `after`
  };
  std::vector<Copy> copies;
  std::vector<bool> used(at.Table.size(), false);
  for (size_t i = 0; i < bt.Table.size(); ++i) {
    if (mapped[i] == kNoMatch || !bt.EntryInside(i, before.Length) || bt.Table[i].CompressedSize == 0) continue;
    copies.push_back({bt.EntryStart(i), at.EntryStart(mapped[i]), bt.Table[i].CompressedSize});
    used[mapped[i]] = true;
  }
  std::sort(copies.begin(), copies.end(), [](const Copy& a, const Copy& b) { return a.From < b.From; });
  RevertPlan plan;
  std::vector<std::pair<int64_t, int64_t>> savedRanges;
  int64_t cursor = 0;
  auto save = [&](int64_t to) {
    if (to <= cursor) return;
    plan.Pieces.push_back({true, plan.Saved.Length, to - cursor});
    savedRanges.emplace_back(cursor, to - cursor);
    plan.Saved.Add(before, cursor, to - cursor);
    cursor = to;
  };
  for (const Copy& c : copies) {
    if (c.From < cursor || c.From < bt.DataStart) continue;  // overlapping entries: the later one is saved
    save(c.From);
    plan.Pieces.push_back({false, c.To, c.Length});
    cursor = c.From + c.Length;
  }
  save(before.Length);
  plan.Before = IdentityOf(sources, before, savedRanges);
  std::vector<std::pair<int64_t, int64_t>> fresh = {{0, at.DataStart}};
  for (size_t j = 0; j < at.Table.size(); ++j)
    if (!used[j] && at.EntryInside(j, after.Length)) fresh.emplace_back(at.EntryStart(j), at.Table[j].CompressedSize);
  std::sort(fresh.begin(), fresh.end());
  plan.After = IdentityOf(sources, after, fresh);
  return plan;
}

ArchiveImage RebuildBefore(const ArchiveImage& after, const ModRevertRecord& record, size_t recordSource) {
  ArchiveImage before;
  for (const RestorePiece& p : record.Pieces) {
    if (p.Saved)
      before.Add({recordSource, record.SavedStart + p.Position, p.Length});
    else
      before.Add(after.Slice(p.Position, p.Length), 0, p.Length);
  }
  return before;
}

ArchiveIdentity IdentityAgainst(ImageSources& sources, const ArchiveImage& image, const ImageTable& table,
                                size_t oldSource) {
  std::vector<std::pair<int64_t, int64_t>> ranges = {{0, table.DataStart}};
  int64_t position = 0;
  for (const ImagePiece& p : image.Pieces) {
    if (p.Source != oldSource && position + p.Length > table.DataStart) {
      const int64_t from = std::max(position, table.DataStart);
      ranges.emplace_back(from, position + p.Length - from);
    }
    position += p.Length;
  }
  return IdentityOf(sources, image, ranges);
}

}  // namespace kestrel
