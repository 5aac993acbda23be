// An archive's integrity, checked without trusting its table: what a modder runs before shipping.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kestrel {

struct ArchiveCheckResult {
  size_t EntryCount = 0;              // the header's count
  std::vector<std::string> Problems;  // one line each, naming the entry concerned; empty when sound
};

// Reads the archive once, entry by entry through fixed buffers, and lists every problem: a magic
// other than "CUBEMAS4.10", a header or table running past the end of the file, entries that are not
// back to back from offset 0 in table order, an entry past the end of the file, a DataAreaSize other
// than the file's length minus the data start, and an entry that does not decode to exactly its
// UncompressedSize. A file that cannot be opened or read is an EInOutError.
ArchiveCheckResult CheckArchive(const std::string& path);

}  // namespace kestrel
