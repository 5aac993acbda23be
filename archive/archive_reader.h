// The reading side of the engine: load a table of contents, copy entries out into a directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine_hooks.h"
#include "mas_format.h"

namespace kestrel {

// A loaded archive. The file is not kept open; each extraction opens it again.
struct LoadedArchive {
  std::string Path;  // absolute
  TMAS_Header Header;
  std::vector<TMAS_FileEntry> Table;
  int64_t DataStart = kMasHeaderSize;
  int64_t FileLength = 0;
};

// Messages the extraction reports (the front end prints them among its progress marks).
extern const char* const kExportAllocationFailedMessage;
std::string UnsafeEntryNameMessage(const std::string& name);
std::string EntryIsTheArchiveMessage(const std::string& name);

// Loads header and table. The magic is not tested. A table that runs past the end of the file is
// detected before memory is reserved for it: EInOutError "Read beyond end of file".
// Any other file failure is an EInOutError too.
LoadedArchive ReadArchiveTable(const std::string& path);

// Reads an entry's stored bytes and decodes them (copy when both sizes are equal, else inflate).
// An entry past the end of the archive is EInOutError ReadBeyondEnd, checked before allocating;
// a damaged stream is EZDecompressionError.
// A stream that inflates past EntryInflateLimit is refused with EZInflateLimitError, whose text
// is EntryInflatesTooFarMessage, before that much memory is taken.
std::vector<uint8_t> ReadStoredBytes(const LoadedArchive& archive, size_t index);
std::vector<uint8_t> DecodeEntryBytes(const TMAS_FileEntry& entry, std::vector<uint8_t> stored);

// How far an entry read into memory may inflate: twice its recorded UncompressedSize and 16 MiB
// more. A table that is somewhat off still reads; a stream of a megabyte that inflates to
// gigabytes does not take gigabytes.
size_t EntryInflateLimit(const TMAS_FileEntry& entry);
std::string EntryInflatesTooFarMessage(const TMAS_FileEntry& entry, size_t limit);

// Writes entry `index` into `directory` as `name` upper-cased, inflating as it writes, through a
// FileReplacement: an existing file of that name is replaced only by the whole new one. An unsafe
// name is reported and nothing is written; a failed inflate is reported and leaves an empty file.
// A symbolic link under the name is replaced, never written through. An output that would be the
// archive itself (its own name beside it, or a hard link to it) is reported and skipped: replacing
// it would lose the archive. Other file failures throw EInOutError and leave no temporary file.
void ExtractEntry(const LoadedArchive& archive, size_t index, const std::string& name,
                  const std::string& directory, const EngineHooks& hooks);

// ExtractEntry for a directory of the caller's own making that nothing else writes to (the
// conversion's scratch directory): the file is written in place, with no temporary file and no
// flush to the disk, since it is read back at once and then removed. A failed entry may leave a
// partial file, which the caller removes.
void ExtractEntryIntoScratch(const LoadedArchive& archive, size_t index, const std::string& name,
                             const std::string& directory, const EngineHooks& hooks);

// Extracts every entry in table order into `directory`, which must exist, calling the progress
// hook after each. A failed entry does not stop the loop.
void ExtractAll(const LoadedArchive& archive, const std::string& directory, const EngineHooks& hooks);

// Creates one directory level. False on any failure (it exists, its parent is missing, ...).
bool CreateDirectoryOneLevel(const std::string& path);

}  // namespace kestrel
