// Reading one entry of the open archive: into memory, into a file, or finding it by name.
//
// Plain C++ without Qt. These functions never show anything: they say what went wrong and the
// main window turns that into the studio's messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "studio/open_archive/archive_state.h"

namespace kestrel::studio {

inline constexpr char kNoMemoryForPreview[] =
    "Failed to allocate the needed memory for this operation. \r\nAttempt at showing the preview has been cancelled";
inline constexpr char kFailedToReadFile[] = "Failed to read file.";

enum class EntryProblem {
  None,
  NoArchive,    // no file at the archive's path, or no such entry: nothing to say
  OutOfMemory,  // kNoMemoryForPreview
  ReadFailed,   // the entry's bytes lie outside the file or cannot be read; Message says which
  Damaged,      // the zlib stream failed; Message holds zlib's text
};

struct EntryBytes {
  std::vector<uint8_t> Data;  // the decoded bytes; their length is the entry's true length
  EntryProblem Problem = EntryProblem::None;
  std::string Message;
  bool Ok() const { return Problem == EntryProblem::None; }
};

// The decoded bytes of entry `index` (0-based). Equal sizes mean stored bytes, copied as they are;
// anything else is inflated, and the result is as long as the stream inflates to, whatever
// UncompressedSize claims. An entry reaching past the end of the file is a read failure found
// before anything is allocated.
EntryBytes ReadEntryBytes(const OpenArchiveState& state, int index);

// The decoded bytes of entry `index`, for readers that report through exceptions (the mesh
// exports): any problem throws std::runtime_error with the message the studio shows for it.
std::vector<uint8_t> EntryDataOrThrow(const OpenArchiveState& state, int index);

// Decodes entry `index` and writes it to `path`, replacing any file there. Problems with the
// archive come back as the result; a target that cannot be written throws EInOutError.
EntryBytes ExtractEntryBytesToFile(const OpenArchiveState& state, int index, const std::string& path);

// The 0-based position of the first entry whose stored name equals `name` with the letters a to z
// in either case, as the games compare names; -1 when there is none.
int FindEntryByName(const OpenArchiveState& state, std::string_view name);

}  // namespace kestrel::studio
