// Converting an F1-2001 archive ("CUBEMAS4.01") into the current layout: every entry is copied out
// into a scratch directory of the conversion's own making (old image entries, raw pixels, become
// bitmap files), and that directory is packed into the new archive as the packer would pack it.
//
// Like the rest of the engine this never prints: messages go to a report hook (an error dialog
// each in the studio) and the two passes advance one progress counter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "archive/archive_reader.h"
#include "archive/engine_hooks.h"

namespace kestrel {

extern const char* const kNotOldArchiveMessage;  // "This does not appear to be a valid F1-2001 MAS file."
extern const char* const kImageAllocationFailedMessage;  // "...saving the image has been cancelled"

// Largest width or height an old image entry may claim; anything above is not a texture.
constexpr int32_t kMaxOldImageSide = 16384;

// The source check: the first 16 bytes, read up to their first zero byte, are exactly
// "CUBEMAS4.01". A file that cannot be read or is shorter than 16 bytes is not a source.
bool IsOldArchive(const std::string& path);

// The destination offered for a source: the same folder, the file name without its extension,
// "_2002", then the extension. "TRACK.MAS" gives "TRACK_2002.MAS".
std::string SuggestDestination(const std::string& sourcePath);

// Writes entry `index` of `archive`, an old image entry (type 2), into `directory` as an
// uncompressed 24-bit bitmap file named `name` upper-cased. Returns true when the file was written.
// An unsafe name, a damaged pixel stream, a size of zero or less or above kMaxOldImageSide, pixel
// data shorter than the rows, or memory that cannot be had is reported and nothing is written.
// A file failure (an entry past the end of the archive, a full disk) throws EInOutError and leaves
// no partial file.
bool ConvertImageEntry(const LoadedArchive& archive, size_t index, const std::string& name,
                       const std::string& directory, const EngineHooks& hooks);

struct ConversionHooks {
  // Each message for the user.
  std::function<void(const std::string& message)> Report;
  // What the user should know that is no failure: where the entries that did not reach the new
  // archive were left. Without this hook it goes to Report.
  std::function<void(const std::string& message)> Notice;
  // The shared counter after each step, and its maximum, 2 x the source's entry count.
  std::function<void(size_t position, size_t maximum)> Progress;
};

struct ConversionOptions {
  std::string SourcePath;
  std::string DestinationPath;
  // Where the scratch directory is made; empty: the source archive's folder, or where that cannot
  // be written (a disc, a read-only install), the destination's folder or the system's temporary one.
  std::string ScratchParent;
};

struct ConversionResult {
  size_t EntryCount = 0;       // entries in the source's table
  size_t EntriesUnpacked = 0;  // files written into the scratch directory
  size_t FilesFound = 0;       // scratch files the pack pass took
  size_t EntriesPacked = 0;    // entries the new archive's table records
  bool ArchiveWritten = false;  // the new archive is at the destination; otherwise a report said why not
  size_t ProgressPosition = 0;  // where the counter stopped; 2 x EntryCount when everything went through
  std::string ScratchDirectory;  // empty when none was made
  bool ScratchDirectoryLeft = false;  // still there, holding what did not reach the new archive

  // Every entry reached the new archive and nothing was left behind.
  bool Complete() const { return EntryCount > 0 && EntriesPacked == EntryCount && !ScratchDirectoryLeft; }
};

// Runs both passes. Every failure, file errors included, is reported through the hooks and the
// conversion goes on where that makes sense; nothing is thrown for them. One cause gives one report;
// one that keeps the new archive from being written names it and says so. An entry that could not
// be read whole never reaches the new archive. A new archive whose table does not record every
// file the pack pass took is removed rather than left with records that read back empty. Files
// that did not reach the new archive stay in the scratch directory, which is then kept and named
// in a report. A destination that is the source itself is refused. An empty source table writes
// nothing.
ConversionResult ConvertOldArchive(const ConversionOptions& options, const ConversionHooks& hooks);

}  // namespace kestrel
