// The writing side of the engine: pack the BMP, MTS, TGA and ANM files of one directory.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine_hooks.h"
#include "file_io.h"
#include "mas_format.h"

namespace kestrel {

extern const char* const kDirectoryMissingMessage;          // "Directory does not exist."
extern const char* const kPackAllocationFailedMessage;      // "...loading the image has been cancelled"
// The table keeps offsets and sizes as int32: a file of 2 GiB or more, or one whose stream would end
// past 2 GiB into the data area, cannot be recorded. Packing stops there, like a failed read.
std::string EntryTooLargeMessage(const std::string& diskName);

// The rising values of the `Unknown` field: 4,000,000 plus 0 to 99,999 at the start of a run,
// then 0 to 1,233 more for each entry.
class UnknownSequence {
 public:
  explicit UnknownSequence(uint32_t seed);
  // Seeded from the clock, or from SOURCE_DATE_EPOCH (whole seconds) when that is set.
  static UnknownSequence FromClock();
  int32_t Next();

 private:
  std::mt19937 random_;
  int32_t sum_;
};

// One file found by the scan: the name on disk and the type code of its pattern.
struct ScannedFile {
  std::string DiskName;
  TMAS_FileType FileType;
};

// The four patterns in table order with their type codes.
struct PackPattern {
  const char* Extension;  // ".bmp"
  TMAS_FileType FileType;
};
extern const std::array<PackPattern, 4> kPackPatterns;

// Lists the plain files of `directory` (not subdirectories, not recursing) in table order: the
// four pattern groups in turn, each sorted by name ignoring case. Throws EInOutError when the
// directory cannot be read.
std::vector<ScannedFile> ScanDirectory(const std::string& directory);

struct PackResult {
  bool DirectoryMissing = false;  // reported "Directory does not exist."; nothing written
  size_t FilesFound = 0;          // 0: nothing written, no message
  size_t EntriesPacked = 0;       // fewer than FilesFound when packing stopped early
  std::vector<ScannedFile> Files; // what the scan found, for callers that clean up after it
  // The new archive took its path's place. Only when every file was packed: after a failure the
  // old file at the path, or none, is still there.
  bool ArchiveWritten = false;
};

struct PackOptions {
  // The converter advances its bar before each entry; packwell marks after each.
  bool ProgressBeforeEntry = false;
  // Files compressed at once; 0 takes KESTREL_JOBS or the number of cores. 1 packs on the calling
  // thread alone. The archive is the same byte for byte whatever the number.
  unsigned Jobs = 0;
};

// Packs `directory` into a new archive at `archivePath`, replacing any file there entirely, through
// a FileReplacement: an existing read-only file is refused, a symbolic link keeps pointing at the
// new archive. A failure that stops packing is reported as before but the old file stays. Names
// are stored as Windows-1252: a file whose name Windows-1252 cannot hold, or whose name would pass
// a record's 236 bytes, is reported and stops the run before anything is written. File failures
// that the run cannot step over throw EInOutError after the report hook had its say.
PackResult PackDirectory(const std::string& directory, const std::string& archivePath, UnknownSequence& unknowns,
                         const EngineHooks& hooks, const PackOptions& options = {});

// The table the scan's files get, all offsets and sizes zero.
std::vector<TMAS_FileEntry> BuildTable(const std::vector<ScannedFile>& files);
// Writes header and table at the front of the archive; `DataAreaSize` from the file's length.
void WriteTable(BinaryFile& archive, const std::vector<TMAS_FileEntry>& table);
// Compresses each file into the data area; returns how many entries were packed.
size_t PackEntries(const std::string& directory, BinaryFile& archive, const std::vector<ScannedFile>& files,
                   std::vector<TMAS_FileEntry>& table, UnknownSequence& unknowns, const EngineHooks& hooks,
                   const PackOptions& options);

}  // namespace kestrel
