// Rewrites of a loaded archive: one entry's content replaced, a file appended, an entry removed.
//
// Each writes a complete new archive beside the old one and renames it into place (see
// FileReplacement): the edit ends with the new archive at the path or with the old one unchanged.
// The caller reloads the archive afterwards; the LoadedArchive passed in describes the old file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive_reader.h"

namespace kestrel {

// An edit refused before anything was written: the archive's layout is not the one the rewrites
// rely on (entries back to back in table order), it changed on disk since it was loaded, or the
// result could not be recorded in its table. The message says which.
class EArchiveEditError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A rewrite given up on the caller's request: the temporary file is removed and the old archive
// stays as it was, byte for byte.
class ERewriteCancelled : public std::runtime_error {
 public:
  ERewriteCancelled() : std::runtime_error("The edit was cancelled; the archive was not changed.") {}
};

// What a caller learns and decides while a rewrite runs. Both are called from the thread doing the
// rewrite, between pieces of at most a few megabytes: `Progress` with the bytes written so far and
// the new archive's length, `CancelRequested` to ask whether to give up (ERewriteCancelled).
struct RewriteControl {
  std::function<void(int64_t written, int64_t total)> Progress;
  std::function<bool()> CancelRequested;
};

// A file's bytes as an entry stores them: a level-9 zlib stream, or the bytes themselves when the
// stream would come out exactly as long (both sizes are then equal, which marks a stored entry).
struct EncodedEntry {
  std::vector<uint8_t> Stored;
  int64_t UncompressedSize = 0;
};
EncodedEntry EncodeEntryContent(const std::vector<uint8_t>& content);

// The name and type an added file gets: its file name without folder as Windows-1252, letters a to
// z upper-cased (a name Windows-1252 cannot hold or longer than a record's 236 bytes is refused
// with EArchiveEditError naming the file); 18 for BMP, 20 for TGA, 17 for MTS, 22 for JPG and
// JPEG, 31 for anything else.
std::string AddedEntryName(const std::string& path);
int32_t AddedEntryType(const std::string& path);

// File failures are EInOutError, a read-only archive included (refused before anything is written).

// Entry `index` gets new content; its type, name, offset and Unknown stay.
void ReplaceEntry(const LoadedArchive& archive, size_t index, const EncodedEntry& content,
                  const RewriteControl& control = {});
// Several entries get new content in one rewrite: all of them or, on failure, none. Each position
// may appear once.
struct EntryReplacement {
  size_t Index = 0;
  EncodedEntry Content;
};
void ReplaceEntries(const LoadedArchive& archive, const std::vector<EntryReplacement>& replacements,
                    const RewriteControl& control = {});
// A new last entry with Unknown 0.
void AppendEntry(const LoadedArchive& archive, const std::string& name, int32_t fileType,
                 const EncodedEntry& content, const RewriteControl& control = {});
// Later entries move up and close the gap.
void RemoveEntry(const LoadedArchive& archive, size_t index, const RewriteControl& control = {});
// Several entries removed in one rewrite: all of them or, on failure, none. Each position may
// appear once; the order does not matter.
void RemoveEntries(const LoadedArchive& archive, std::vector<size_t> indexes, const RewriteControl& control = {});

}  // namespace kestrel
