// Extraction of a whole archive that never writes over the archive it reads.
#pragma once

#include <string>

#include "archive/archive_reader.h"

namespace kestrel {

// Reported instead of extracting an entry whose output file would be the archive itself.
std::string EntryIsTheArchiveMessage(const std::string& name);

// Like ExtractAll: every entry in table order into `directory`, which must exist, with one progress
// step per entry. An entry that would land on the archive (its own name beside it, or a hard link
// to it) is reported and skipped: creating the output truncates the archive before its bytes are
// read, which would lose the archive and every entry after it.
void ExtractAllSparingArchive(const LoadedArchive& archive, const std::string& directory, const EngineHooks& hooks);

}  // namespace kestrel
