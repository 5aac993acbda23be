// What differs between two archives, entry by entry.
//
// Entries are matched by name ignoring case: the k-th entry of a name in one archive with the k-th
// of that name in the other. A matched pair differs when its type or its decoded bytes differ; the
// `Unknown` field is never compared (the packers draw it afresh on every run).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_reader.h"

namespace kestrel {

// For each entry of `to`, the position in `from` of the entry it matches, or kNoMatch.
inline constexpr size_t kNoMatch = static_cast<size_t>(-1);
std::vector<size_t> MatchEntriesByName(const std::vector<TMAS_FileEntry>& from,
                                       const std::vector<TMAS_FileEntry>& to);
// Which of that name an entry is: 0 for the first entry of its name in `table`, ignoring case.
std::vector<uint32_t> NameOccurrences(const std::vector<TMAS_FileEntry>& table);

// Whether two entries hold the same type and decoded bytes. Equal stored bytes are not decoded.
// A stream that does not decode throws EZLibError.
bool SameEntryContent(const LoadedArchive& a, size_t indexA, const LoadedArchive& b, size_t indexB);

struct ArchiveDifference {
  enum class Kind { Added, Removed, Changed } What;
  std::string Name;
  size_t IndexA = kNoMatch, IndexB = kNoMatch;  // positions in each archive's table, where there
  int64_t SizeA = 0, SizeB = 0;                 // decoded sizes as the tables give them
};

// B's table order (added and changed), then A's entries that B lacks in A's order.
std::vector<ArchiveDifference> DiffArchives(const LoadedArchive& a, const LoadedArchive& b);

// "added NAME", "removed NAME", "changed NAME (SIZE_A -> SIZE_B bytes)", names shown printable.
std::string DifferenceLine(const ArchiveDifference& difference);

}  // namespace kestrel
