// An archive described as pieces of other files and of bytes in memory, not yet written: what a
// package makes of an archive, or what an archive was before a package, rebuilt from the current
// file and the saved revert data. Such images are read (tables, hashes), compared and written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_diff.h"
#include "archive/file_io.h"
#include "archive/mas_format.h"
#include "archive/mod_revert_store.h"
#include "archive/sha256.h"

namespace kestrel {

// The files and buffers images are made of; each has a number.
class ImageSources {
 public:
  size_t OpenFile(const std::string& path);
  size_t AddBytes(std::vector<uint8_t> bytes);
  int64_t Size(size_t source);
  std::vector<uint8_t> Read(size_t source, int64_t position, size_t length);
  // Appends `length` bytes of `source` from `position` to `out`.
  void CopyTo(BinaryFile& out, size_t source, int64_t position, int64_t length);
  // Closes the files read from: Windows renames nothing over a file this process holds open.
  void CloseFiles();

 private:
  struct Source;
  std::vector<std::shared_ptr<Source>> sources_;
};

struct ImagePiece {
  size_t Source = 0;
  int64_t Position = 0;
  int64_t Length = 0;
};

struct ArchiveImage {
  std::vector<ImagePiece> Pieces;
  int64_t Length = 0;

  static ArchiveImage Whole(ImageSources& sources, size_t source);
  void Add(const ImagePiece& piece);
  void Add(const ArchiveImage& image, int64_t position, int64_t length);  // a slice of another image
  ArchiveImage Slice(int64_t position, int64_t length) const;
};

std::vector<uint8_t> ReadImage(ImageSources& sources, const ArchiveImage& image, int64_t position, int64_t length);
void HashImage(Sha256& hash, ImageSources& sources, const ArchiveImage& image);
void WriteImage(BinaryFile& out, ImageSources& sources, const ArchiveImage& image);

// An image's header and table. A table that does not fit in the image is EInOutError.
struct ImageTable {
  TMAS_Header Header;
  std::vector<TMAS_FileEntry> Table;
  int64_t DataStart = 0;
  // Where entry `i`'s stored bytes lie, when they lie inside an image of `length` bytes.
  bool EntryInside(size_t i, int64_t length) const;
  int64_t EntryStart(size_t i) const { return DataStart + Table[i].Offset; }
};
ImageTable ReadImageTable(ImageSources& sources, const ArchiveImage& image);

// A new archive: `header` with its count and data size set, the entries back to back.
struct ImageEntry {
  TMAS_FileEntry Record;  // its offset is set here
  ArchiveImage Stored;
};
ArchiveImage BuildArchiveImage(ImageSources& sources, TMAS_Header header, std::vector<ImageEntry> entries,
                               ImageTable& table);

// How to rebuild image `before` from image `after`, where after's entry mapped[i] holds the same
// stored bytes as before's entry i (kNoMatch where none): pieces of `after`, and the rest saved.
struct RevertPlan {
  std::vector<RestorePiece> Pieces;
  ArchiveImage Saved;  // the saved bytes, in order, as pieces of `before`
  ArchiveIdentity Before, After;
};
RevertPlan PlanRevert(ImageSources& sources, const ArchiveImage& before, const ImageTable& beforeTable,
                      const ArchiveImage& after, const ImageTable& afterTable, const std::vector<size_t>& mapped);

// The image a record rebuilds from `after`, with the record's saved bytes in `recordSource`.
ArchiveImage RebuildBefore(const ArchiveImage& after, const ModRevertRecord& record, size_t recordSource);

// Identity of `image` naming its front and every piece that does not come from `oldSource`: what
// tells the new archive from the file it replaces.
ArchiveIdentity IdentityAgainst(ImageSources& sources, const ArchiveImage& image, const ImageTable& table,
                                size_t oldSource);

}  // namespace kestrel
