#include "archive/archive_packer.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <new>

#include "archive/file_io.h"
#include "archive/name_collation.h"
#include "archive/zbuffer.h"

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
  DIR* dir = ::opendir(directory.c_str());
  if (!dir) throw EInOutError(FileErrorKindFromErrno(errno), directory);
  std::array<std::vector<std::string>, 4> lists;
  while (dirent* d = ::readdir(dir)) {
    const std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    // Links to files count as the files they name; directories never do, whatever their name.
    if (::stat(JoinPath(directory, name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    for (size_t p = 0; p < kPackPatterns.size(); ++p) {
      if (EndsWithIgnoreCase(name, kPackPatterns[p].Extension)) {
        lists[p].push_back(name);
        break;
      }
    }
  }
  ::closedir(dir);

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
    table[i].SetName(files[i].DiskName);
    table[i].FileType = files[i].FileType;
  }
  return table;
}

void WriteTable(const std::string& archivePath, const std::vector<TMAS_FileEntry>& table, bool create) {
  BinaryFile file = create ? BinaryFile::Create(archivePath) : BinaryFile::OpenWrite(archivePath);
  TMAS_Header header = TMAS_Header::Current(static_cast<uint32_t>(table.size()));
  std::vector<uint8_t> front(DataStartFor(table.size()));
  EncodeHeader(header, front.data());
  for (size_t i = 0; i < table.size(); ++i) EncodeEntry(table[i], &front[kMasHeaderSize + i * kMasEntrySize]);
  file.WriteAll(front.data(), front.size());

  // The header is written once more now that the file's length tells the data area's size.
  header.DataAreaSize = static_cast<uint32_t>(file.Size() - DataStartFor(table.size()));
  EncodeHeader(header, front.data());
  file.Seek(0);
  file.WriteAll(front.data(), kMasHeaderSize);
  file.Close();
}

size_t PackEntries(const std::string& directory, const std::string& archivePath, const std::vector<ScannedFile>& files,
                   std::vector<TMAS_FileEntry>& table, UnknownSequence& unknowns, const EngineHooks& hooks,
                   const PackOptions& options) {
  BinaryFile archive = BinaryFile::OpenWrite(archivePath);
  const int64_t dataStart = DataStartFor(table.size());
  int64_t position = dataStart;
  archive.Seek(position);

  size_t packed = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    if (options.ProgressBeforeEntry) hooks.Step();
    BinaryFile source = BinaryFile::OpenRead(JoinPath(directory, files[i].DiskName));
    const int64_t size = source.Size();
    // Checked before anything is reserved; a wrapped size would otherwise go into the table.
    if (size > INT32_MAX) {
      hooks.Say(EntryTooLargeMessage(files[i].DiskName));
      break;
    }

    std::vector<uint8_t> bytes;
    std::vector<uint8_t> encoded;
    try {
      bytes.resize(static_cast<size_t>(size));
      source.ReadExact(bytes.data(), bytes.size());
      encoded = CompressBuffer(bytes.data(), bytes.size(), 3);
      // A stream exactly as long as the file would read back as a stored entry: store the file.
      if (encoded.size() == bytes.size()) encoded.swap(bytes);
      bytes.clear();
      bytes.shrink_to_fit();
      if (position - dataStart + static_cast<int64_t>(encoded.size()) > INT32_MAX) {
        hooks.Say(EntryTooLargeMessage(files[i].DiskName));
        break;
      }
      archive.WriteAll(encoded.data(), encoded.size());
    } catch (const std::bad_alloc&) {
      hooks.Say(kPackAllocationFailedMessage);
      break;
    } catch (const EZLibError& e) {
      hooks.Say(e.what());
      break;
    } catch (const EInOutError& e) {
      // A source that cannot be read or a full disk: say which, and keep what was packed so far.
      hooks.Say(e.what());
      break;
    }
    source.Close();

    TMAS_FileEntry& entry = table[i];
    entry.Offset = static_cast<int32_t>(position - dataStart);
    entry.UncompressedSize = static_cast<int32_t>(size);
    entry.CompressedSize = static_cast<int32_t>(encoded.size());
    entry.Unknown = unknowns.Next();
    position += static_cast<int64_t>(encoded.size());
    ++packed;
    if (!options.ProgressBeforeEntry) hooks.Step();
  }
  // What a failed write may have left beyond the last whole entry is cut off.
  archive.Truncate(position);
  archive.Close();
  return packed;
}

PackResult PackDirectory(const std::string& directory, const std::string& archivePath, UnknownSequence& unknowns,
                         const EngineHooks& hooks, const PackOptions& options) {
  PackResult result;
  if (!DirectoryExists(directory) || ::access(directory.c_str(), R_OK | X_OK) != 0) {
    hooks.Say(kDirectoryMissingMessage);
    result.DirectoryMissing = true;
    return result;
  }
  result.Files = ScanDirectory(directory);
  result.FilesFound = result.Files.size();
  if (result.Files.empty()) return result;

  std::vector<TMAS_FileEntry> table = BuildTable(result.Files);
  // Unlinking first replaces an old archive entirely, a read-only one included.
  ::unlink(archivePath.c_str());
  try {
    WriteTable(archivePath, table, true);
  } catch (const EInOutError& e) {
    hooks.Say(e.what());
  }
  result.EntriesPacked = PackEntries(directory, archivePath, result.Files, table, unknowns, hooks, options);
  try {
    WriteTable(archivePath, table, false);
  } catch (const EInOutError& e) {
    hooks.Say(e.what());
  }
  return result;
}

}  // namespace kestrel
