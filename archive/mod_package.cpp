#include "archive/mod_package.h"

#include <algorithm>
#include <climits>
#include <map>
#include <memory>

#include "archive/archive_diff.h"
#include "archive/archive_editing.h"
#include "archive/file_io.h"
#include "archive/file_replacement.h"
#include "archive/sha256.h"

namespace kestrel {
namespace {

// A carried entry while a package is made: its record and where its stored bytes come from.
struct CarriedSource {
  TMAS_FileEntry Record;
  const LoadedArchive* From = nullptr;  // copy entry `Index` of this archive, or
  size_t Index = 0;
  std::shared_ptr<std::vector<uint8_t>> Bytes;  // these bytes
};

std::string DecodedHash(const LoadedArchive& archive, size_t index) {
  return Sha256Hex(DecodeEntryBytes(archive.Table[index], ReadStoredBytes(archive, index)));
}

ModEntryRef RefTo(const LoadedArchive& archive, const std::vector<uint32_t>& occurrences, size_t index) {
  return {archive.Table[index].Name(), occurrences[index]};
}

void PlanFromArchive(const LoadedArchive& a, const LoadedArchive& b, ModManifest& m,
                     std::vector<CarriedSource>& carried) {
  const std::vector<uint32_t> occA = NameOccurrences(a.Table);
  const std::vector<size_t> match = MatchEntriesByName(a.Table, b.Table);
  std::map<std::string, size_t> originalNames;
  for (const TMAS_FileEntry& e : a.Table) originalNames[UpperCaseAscii(e.Name())]++;
  std::vector<bool> matched(a.Table.size(), false);
  for (size_t i = 0; i < b.Table.size(); ++i) {
    if (match[i] != kNoMatch) {
      matched[match[i]] = true;
      if (SameEntryContent(a, match[i], b, i)) {
        ModOrderItem keep;
        keep.Kept = RefTo(a, occA, match[i]);
        m.Order.push_back(std::move(keep));
        continue;
      }
      m.Changed.push_back({RefTo(a, occA, match[i]), DecodedHash(a, match[i])});
    } else {
      const std::string name = b.Table[i].Name();
      if (originalNames.count(UpperCaseAscii(name)))
        throw EModPackageError("The modified archive holds more entries named \"" + PrintableName(name) +
                               "\" than the original; a package cannot add another entry of a name the archive has.");
      m.Added.push_back(name);
    }
    carried.push_back({b.Table[i], &b, i, nullptr});
    ModOrderItem carry;
    carry.Carried = true;
    carry.CarriedIndex = carried.size();
    m.Order.push_back(carry);
  }
  for (size_t i = 0; i < a.Table.size(); ++i)
    if (!matched[i]) m.Removed.push_back({RefTo(a, occA, i), DecodedHash(a, i)});
}

void PlanFromFolder(const LoadedArchive& a, const std::string& folder, ModManifest& m,
                    std::vector<CarriedSource>& carried) {
  std::vector<std::string> files;
  int err = 0;
  for (const std::string& name : platform::ListDirectory(folder, err))
    if (platform::Inspect(JoinPath(folder, name), true).Regular) files.push_back(name);
  if (err) throw EInOutError(FileErrorKindFromErrno(err), folder, err);
  std::sort(files.begin(), files.end());
  const std::vector<uint32_t> occA = NameOccurrences(a.Table);
  std::map<std::string, size_t> firstOf;  // upper-cased name -> first entry of that name
  for (size_t i = a.Table.size(); i-- > 0;) firstOf[UpperCaseAscii(a.Table[i].Name())] = i;
  std::map<size_t, size_t> replaced;  // entry -> carried position
  std::map<std::string, std::string> taken;
  std::vector<CarriedSource> added;
  for (const std::string& file : files) {
    const std::string name = AddedEntryName(file);
    if (name.size() > kMasNameSize)
      throw EModPackageError("The file name \"" + PrintableName(file) + "\" is longer than an entry name can be.");
    if (!taken.emplace(name, file).second)
      throw EModPackageError("The files \"" + PrintableName(taken[name]) + "\" and \"" + PrintableName(file) +
                             "\" would both be the entry \"" + PrintableName(name) + "\".");
    const std::string path = JoinPath(folder, file);
    auto bytes = std::make_shared<std::vector<uint8_t>>(ReadWholeFile(path));
    if (bytes->size() > INT32_MAX)
      throw EModPackageError(path + " is 2 GiB or larger, more than an archive entry can hold.");
    const auto found = firstOf.find(name);
    if (found != firstOf.end()) {
      const size_t index = found->second;
      const std::vector<uint8_t> original = DecodeEntryBytes(a.Table[index], ReadStoredBytes(a, index));
      if (original == *bytes) continue;
      m.Changed.push_back({RefTo(a, occA, index), Sha256Hex(original)});
    }
    EncodedEntry encoded = EncodeEntryContent(*bytes);
    CarriedSource source;
    source.Record = found != firstOf.end() ? a.Table[found->second] : TMAS_FileEntry{};
    if (found == firstOf.end()) {
      source.Record.FileType = AddedEntryType(file);
      source.Record.SetName(name);
      m.Added.push_back(name);
    }
    source.Record.UncompressedSize = static_cast<int32_t>(encoded.UncompressedSize);
    source.Record.CompressedSize = static_cast<int32_t>(encoded.Stored.size());
    source.Bytes = std::make_shared<std::vector<uint8_t>>(std::move(encoded.Stored));
    if (found != firstOf.end()) {
      replaced[found->second] = carried.size();
      carried.push_back(std::move(source));
    } else {
      added.push_back(std::move(source));
    }
  }
  for (size_t i = 0; i < a.Table.size(); ++i) {
    ModOrderItem item;
    const auto r = replaced.find(i);
    if (r == replaced.end()) {
      item.Kept = RefTo(a, occA, i);
    } else {
      item.Carried = true;
      item.CarriedIndex = r->second + 1;
    }
    m.Order.push_back(std::move(item));
  }
  for (CarriedSource& source : added) {
    carried.push_back(std::move(source));
    ModOrderItem item;
    item.Carried = true;
    item.CarriedIndex = carried.size();
    m.Order.push_back(item);
  }
}

void WritePackage(const std::string& path, const ModManifest& manifest, std::vector<CarriedSource>& carried) {
  const std::string text = WriteModManifest(manifest);
  const EncodedEntry encoded = EncodeEntryContent(std::vector<uint8_t>(text.begin(), text.end()));
  std::vector<TMAS_FileEntry> table(1);
  table[0].FileType = kMasTypeANM;
  table[0].SetName(kModManifestEntryName);
  table[0].UncompressedSize = static_cast<int32_t>(encoded.UncompressedSize);
  table[0].CompressedSize = static_cast<int32_t>(encoded.Stored.size());
  int64_t offset = table[0].CompressedSize;
  for (CarriedSource& source : carried) {
    source.Record.Offset = static_cast<int32_t>(offset);
    offset += source.Record.CompressedSize;
    if (offset > INT32_MAX) throw EModPackageError("The package would hold 2 GiB or more, which its table cannot record.");
    table.push_back(source.Record);
  }
  TMAS_Header header = TMAS_Header::Current(static_cast<uint32_t>(table.size()));
  header.DataAreaSize = static_cast<uint32_t>(offset);
  std::vector<uint8_t> front(static_cast<size_t>(DataStartFor(table.size())));
  EncodeHeader(header, front.data());
  for (size_t i = 0; i < table.size(); ++i) EncodeEntry(table[i], &front[kMasHeaderSize + i * kMasEntrySize]);

  FileReplacement replacement(path);
  BinaryFile& out = replacement.File();
  out.WriteAll(front.data(), front.size());
  out.WriteAll(encoded.Stored.data(), encoded.Stored.size());
  std::map<const LoadedArchive*, BinaryFile> sources;
  for (const CarriedSource& source : carried) {
    if (source.Bytes) {
      out.WriteAll(source.Bytes->data(), source.Bytes->size());
      continue;
    }
    auto file = sources.find(source.From);
    if (file == sources.end()) file = sources.emplace(source.From, BinaryFile::OpenRead(source.From->Path)).first;
    const TMAS_FileEntry& entry = source.From->Table[source.Index];
    out.CopyFrom(file->second, source.From->DataStart + entry.Offset, entry.CompressedSize);
  }
  replacement.Commit();
}

}  // namespace

ModMakeSummary MakeModPackage(const std::string& original, const std::string& modified,
                              const std::string& packagePath, const std::string& title) {
  const LoadedArchive a = ReadArchiveTable(original);
  ModManifest manifest;
  manifest.Title = title;
  std::vector<CarriedSource> carried;
  LoadedArchive b;
  if (DirectoryExists(modified)) {
    PlanFromFolder(a, modified, manifest, carried);
  } else {
    b = ReadArchiveTable(modified);
    for (size_t i = 0; i < b.Table.size(); ++i) {
      const TMAS_FileEntry& e = b.Table[i];
      if (e.Offset < 0 || e.CompressedSize < 0 || b.DataStart + e.Offset + e.CompressedSize > b.FileLength)
        throw EModPackageError("Entry \"" + PrintableName(e.Name()) + "\" of the modified archive runs past its end.");
    }
    PlanFromArchive(a, b, manifest, carried);
  }
  if (manifest.Changed.empty() && manifest.Added.empty() && manifest.Removed.empty())
    throw EModPackageError("The modified archive holds what the original holds; there is nothing to package.");
  WritePackage(packagePath, manifest, carried);
  return {manifest.Changed.size(), manifest.Added.size(), manifest.Removed.size()};
}

ModPackage ReadModPackage(const std::string& path) {
  ModPackage package;
  package.Archive = ReadArchiveTable(path);
  const std::vector<TMAS_FileEntry>& table = package.Archive.Table;
  if (table.empty() || table[0].Name() != kModManifestEntryName)
    throw EModPackageError("This is not a mod package: its first entry is not " + std::string(kModManifestEntryName) + ".");
  for (size_t i = 0; i < table.size(); ++i) {
    const TMAS_FileEntry& e = table[i];
    if (e.Offset < 0 || e.CompressedSize < 0 || e.UncompressedSize < 0 ||
        package.Archive.DataStart + e.Offset + e.CompressedSize > package.Archive.FileLength)
      throw EModPackageError("The package is damaged: entry \"" + PrintableName(e.Name()) + "\" runs past its end.");
  }
  std::vector<uint8_t> text;
  try {
    text = DecodeEntryBytes(table[0], ReadStoredBytes(package.Archive, 0));
  } catch (const std::exception& e) {
    throw EModPackageError(std::string("The package's manifest does not decode: ") + e.what());
  }
  package.Manifest = ParseModManifest(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
  const ModManifest& m = package.Manifest;
  const size_t placed = m.Changed.size() + m.Added.size();
  if (placed + 1 != table.size())
    throw EModPackageError("The package's manifest names " + std::to_string(placed) + " carried entries but the package carries " +
                           std::to_string(table.size() - 1) + ".");
  std::map<std::string, int> names;  // carried minus named, by upper-cased name
  for (size_t i = 1; i < table.size(); ++i) names[UpperCaseAscii(table[i].Name())]++;
  for (const ModHashedEntry& e : m.Changed) names[UpperCaseAscii(e.Entry.Name)]--;
  for (const std::string& name : m.Added) names[UpperCaseAscii(name)]--;
  for (const auto& [name, count] : names)
    if (count != 0)
      throw EModPackageError("The package's manifest and its carried entries disagree about \"" + PrintableName(name) + "\".");
  for (size_t i = 1; i < table.size(); ++i) {
    try {
      const std::vector<uint8_t> bytes = DecodeEntryBytes(table[i], ReadStoredBytes(package.Archive, i));
      if (static_cast<int64_t>(bytes.size()) != table[i].UncompressedSize) throw EModPackageError("wrong size");
    } catch (const std::exception&) {
      throw EModPackageError("The package is damaged: its entry \"" + PrintableName(table[i].Name()) + "\" does not decode.");
    }
  }
  package.Sha256 = Sha256Hex(ReadWholeFile(path));
  return package;
}

}  // namespace kestrel
