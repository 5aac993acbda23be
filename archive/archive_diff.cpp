#include "archive/archive_diff.h"

#include <map>

namespace kestrel {

std::vector<uint32_t> NameOccurrences(const std::vector<TMAS_FileEntry>& table) {
  std::map<std::string, uint32_t> seen;
  std::vector<uint32_t> occurrences;
  occurrences.reserve(table.size());
  for (const TMAS_FileEntry& entry : table) occurrences.push_back(seen[UpperCaseAscii(entry.Name())]++);
  return occurrences;
}

std::vector<size_t> MatchEntriesByName(const std::vector<TMAS_FileEntry>& from,
                                       const std::vector<TMAS_FileEntry>& to) {
  std::map<std::string, std::vector<size_t>> positions;
  for (size_t i = 0; i < from.size(); ++i) positions[UpperCaseAscii(from[i].Name())].push_back(i);
  const std::vector<uint32_t> occurrences = NameOccurrences(to);
  std::vector<size_t> match(to.size(), kNoMatch);
  for (size_t i = 0; i < to.size(); ++i) {
    const auto found = positions.find(UpperCaseAscii(to[i].Name()));
    if (found != positions.end() && occurrences[i] < found->second.size()) match[i] = found->second[occurrences[i]];
  }
  return match;
}

bool SameEntryContent(const LoadedArchive& a, size_t indexA, const LoadedArchive& b, size_t indexB) {
  const TMAS_FileEntry& ea = a.Table[indexA];
  const TMAS_FileEntry& eb = b.Table[indexB];
  if (ea.FileType != eb.FileType) return false;
  std::vector<uint8_t> storedA = ReadStoredBytes(a, indexA);
  std::vector<uint8_t> storedB = ReadStoredBytes(b, indexB);
  if (storedA == storedB && ea.IsStored() == eb.IsStored()) return true;
  return DecodeEntryBytes(ea, std::move(storedA)) == DecodeEntryBytes(eb, std::move(storedB));
}

std::vector<ArchiveDifference> DiffArchives(const LoadedArchive& a, const LoadedArchive& b) {
  using Kind = ArchiveDifference::Kind;
  const std::vector<size_t> match = MatchEntriesByName(a.Table, b.Table);
  std::vector<bool> matched(a.Table.size(), false);
  std::vector<ArchiveDifference> out;
  for (size_t i = 0; i < b.Table.size(); ++i) {
    const TMAS_FileEntry& entry = b.Table[i];
    if (match[i] == kNoMatch) {
      out.push_back({Kind::Added, entry.Name(), kNoMatch, i, 0, entry.UncompressedSize});
      continue;
    }
    matched[match[i]] = true;
    if (!SameEntryContent(a, match[i], b, i))
      out.push_back({Kind::Changed, entry.Name(), match[i], i, a.Table[match[i]].UncompressedSize,
                     entry.UncompressedSize});
  }
  for (size_t i = 0; i < a.Table.size(); ++i)
    if (!matched[i]) out.push_back({Kind::Removed, a.Table[i].Name(), i, kNoMatch, a.Table[i].UncompressedSize, 0});
  return out;
}

std::string DifferenceLine(const ArchiveDifference& d) {
  const std::string name = PrintableName(d.Name);
  switch (d.What) {
    case ArchiveDifference::Kind::Added:
      return "added " + name;
    case ArchiveDifference::Kind::Removed:
      return "removed " + name;
    case ArchiveDifference::Kind::Changed:
      break;
  }
  return "changed " + name + " (" + std::to_string(d.SizeA) + " -> " + std::to_string(d.SizeB) + " bytes)";
}

}  // namespace kestrel
