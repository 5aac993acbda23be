#include "archive/archive_packer.h"


#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <exception>
#include <optional>

#include "archive/entry_name_encoding.h"
#include "archive/file_io.h"
#include "archive/file_replacement.h"
#include "archive/name_collation.h"
#include "archive/pack_pipeline.h"

namespace kestrel {

const char* const kDirectoryMissingMessage = "Directory does not exist.";
const char* const kPackAllocationFailedMessage =
    "Failed to allocate the needed memory for this operation. \r\nAttempt at loading the image has been cancelled";

std::string EntryTooLargeMessage(const std::string& diskName) {
  return "File \"" + diskName + "\" was not packed: an archive cannot hold data past 2 GiB; packing stopped";
}

const std::array<PackPattern, 4> kPackPatterns = {{
    {".bmp", kMasTypeBMP},
    {".mts", kMasTypeMTS},
    {".tga", kMasTypeTGA},
    {".anm", kMasTypeANM},
}};

UnknownSequence::UnknownSequence(uint32_t seed) : random_(seed) {
  sum_ = 4'000'000 + std::uniform_int_distribution<int32_t>(0, 99'999)(random_);
}

UnknownSequence UnknownSequence::FromClock() {
  // SOURCE_DATE_EPOCH (the reproducible-builds convention the mesh dump's date follows too) stands
  // for the clock, so that the same files and the same value make the same archive byte for byte,
  // on Linux and Windows alike.
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
    char* end = nullptr;
    const unsigned long long seconds = std::strtoull(epoch, &end, 10);
    if (*end == '\0') return UnknownSequence(static_cast<uint32_t>(seconds ^ (seconds >> 32)));
  }
  const auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
  return UnknownSequence(static_cast<uint32_t>(ticks ^ (ticks >> 32)));
}

int32_t UnknownSequence::Next() {
  sum_ += std::uniform_int_distribution<int32_t>(0, 1'233)(random_);
  return sum_;
}

namespace {

bool EndsWithIgnoreCase(const std::string& name, const char* extension) {
  const std::string ext = extension;
  return name.size() >= ext.size() && EqualsIgnoreAsciiCase(name.substr(name.size() - ext.size()), ext);
}

}  // namespace

std::vector<ScannedFile> ScanDirectory(const std::string& directory) {
  int err = 0;
  const std::vector<std::string> names = platform::ListDirectory(directory, err);
  if (err) throw EInOutError(FileErrorKindFromErrno(err), directory);
  std::array<std::vector<std::string>, 4> lists;
  for (const std::string& name : names) {
    // Links to files count as the files they name; directories never do, whatever their name.
    if (!platform::Inspect(JoinPath(directory, name), true).Regular) continue;
    for (size_t p = 0; p < kPackPatterns.size(); ++p) {
      if (EndsWithIgnoreCase(name, kPackPatterns[p].Extension)) {
        lists[p].push_back(name);
        break;
      }
    }
  }

  std::vector<ScannedFile> files;
  for (size_t p = 0; p < lists.size(); ++p) {
    std::sort(lists[p].begin(), lists[p].end(), NameLessIgnoreCase{});
    for (const std::string& name : lists[p]) files.push_back({name, kPackPatterns[p].FileType});
  }
  return files;
}

std::vector<TMAS_FileEntry> BuildTable(const std::vector<ScannedFile>& files) {
  std::vector<TMAS_FileEntry> table(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    table[i].SetName(StoredNameForFile(files[i].DiskName).Name);
    table[i].FileType = files[i].FileType;
  }
  return table;
}

void WriteTable(BinaryFile& archive, const std::vector<TMAS_FileEntry>& table) {
  TMAS_Header header = TMAS_Header::Current(static_cast<uint32_t>(table.size()));
  std::vector<uint8_t> front(DataStartFor(table.size()));
  EncodeHeader(header, front.data());
  for (size_t i = 0; i < table.size(); ++i) EncodeEntry(table[i], &front[kMasHeaderSize + i * kMasEntrySize]);
  archive.Seek(0);
  archive.WriteAll(front.data(), front.size());

  // The header is written once more now that the file's length tells the data area's size.
  header.DataAreaSize = static_cast<uint32_t>(archive.Size() - DataStartFor(table.size()));
  EncodeHeader(header, front.data());
  archive.Seek(0);
  archive.WriteAll(front.data(), kMasHeaderSize);
}

size_t PackEntries(const std::string& directory, BinaryFile& archive, const std::vector<ScannedFile>& files,
                   std::vector<TMAS_FileEntry>& table, UnknownSequence& unknowns, const EngineHooks& hooks,
                   const PackOptions& options) {
  const int64_t dataStart = DataStartFor(table.size());
  int64_t position = dataStart;
  archive.Seek(position);

  std::vector<std::string> paths, names;
  for (const ScannedFile& file : files) {
    paths.push_back(JoinPath(directory, file.DiskName));
    names.push_back(file.DiskName);
  }
  // Workers may read and compress files ahead; everything the user sees, the marks, the messages
  // and the bytes, happens here on the calling thread in table order.
  PreparedFileSource source(std::move(paths), std::move(names), options.Jobs ? options.Jobs : PackJobsFromEnvironment());

  size_t packed = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    if (options.ProgressBeforeEntry) hooks.Step();
    PreparedFile prepared = source.Take(i);
    if (prepared.Result == PreparedFile::Outcome::Exception) std::rethrow_exception(prepared.Error);
    if (prepared.Result == PreparedFile::Outcome::Stop) {
      hooks.Say(prepared.Message);
      break;
    }
    const std::vector<uint8_t>& encoded = prepared.Encoded;
    if (position - dataStart + static_cast<int64_t>(encoded.size()) > INT32_MAX) {
      hooks.Say(EntryTooLargeMessage(files[i].DiskName));
      break;
    }
    try {
      archive.WriteAll(encoded.data(), encoded.size());
    } catch (const EInOutError& e) {
      hooks.Say(e.what());  // a full disk: say so and stop, like a file that cannot be read
      break;
    }

    TMAS_FileEntry& entry = table[i];
    entry.Offset = static_cast<int32_t>(position - dataStart);
    entry.UncompressedSize = static_cast<int32_t>(prepared.Size);
    entry.CompressedSize = static_cast<int32_t>(encoded.size());
    entry.Unknown = unknowns.Next();
    position += static_cast<int64_t>(encoded.size());
    ++packed;
    if (!options.ProgressBeforeEntry) hooks.Step();
  }
  // What a failed write may have left beyond the last whole entry is cut off.
  archive.Truncate(position);
  return packed;
}

PackResult PackDirectory(const std::string& directory, const std::string& archivePath, UnknownSequence& unknowns,
                         const EngineHooks& hooks, const PackOptions& options) {
  PackResult result;
  if (!DirectoryExists(directory) || !platform::CanEnterDirectory(directory)) {
    hooks.Say(kDirectoryMissingMessage);
    result.DirectoryMissing = true;
    return result;
  }
  result.Files = ScanDirectory(directory);
  result.FilesFound = result.Files.size();
  if (result.Files.empty()) return result;
  // A name cut to fit, or changed into other characters, could come back as another file's name:
  // such a file stops the run before anything is written.
  bool refused = false;
  for (const ScannedFile& file : result.Files) {
    const StoredName stored = StoredNameForFile(file.DiskName);
    if (!stored.Refusal.empty()) hooks.Say(stored.Refusal);
    refused = refused || !stored.Refusal.empty();
  }
  if (refused) return result;

  std::vector<TMAS_FileEntry> table = BuildTable(result.Files);
  // The archive is built beside its path and takes the old file's place only when every entry is
  // in it: a failure at any point leaves the old archive, or none, and never a partial one.
  std::optional<FileReplacement> archive;
  try {
    archive.emplace(archivePath);
    WriteTable(archive->File(), table);
  } catch (const EInOutError& e) {
    hooks.Say(e.what());
    // With no file to write into there is no data pass: that ends the run, naming the archive.
    if (!archive) throw EInOutError(e.Kind(), archivePath, e.SystemCode());
  }
  result.EntriesPacked = PackEntries(directory, archive->File(), result.Files, table, unknowns, hooks, options);
  // The second pass writes the whole front again, so it alone decides whether the table is whole.
  bool tableWritten = true;
  try {
    WriteTable(archive->File(), table);
  } catch (const EInOutError& e) {
    hooks.Say(e.what());
    tableWritten = false;
  }
  if (tableWritten && result.EntriesPacked == result.FilesFound) {
    try {
      archive->Commit();
    } catch (const EInOutError& e) {
      // A flush or rename that fails names the archive, not the hidden file it was built in.
      throw EInOutError(e.Kind(), archivePath, e.SystemCode());
    }
    result.ArchiveWritten = true;
  }
  return result;
}

}  // namespace kestrel
