#include "archive/old_archive_conversion.h"


#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "archive/archive_packer.h"
#include "archive/entry_name_encoding.h"
#include "archive/file_io.h"

namespace kestrel {

const char* const kNotOldArchiveMessage = "This does not appear to be a valid F1-2001 MAS file.";

bool IsOldArchive(const std::string& path) {
  try {
    BinaryFile file = BinaryFile::OpenRead(path);
    char magic[kMasMagicSize];
    file.ReadExact(magic, sizeof magic);
    return std::string_view(magic, strnlen(magic, sizeof magic)) == kOldMagic;
  } catch (const EInOutError&) {
    return false;
  }
}

std::string SuggestDestination(const std::string& sourcePath) {
  const size_t slash = sourcePath.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::string name = sourcePath.substr(nameStart);
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos) return sourcePath + "_2002";
  // Cut where the extension first occurs: A.MAS.MAS suggests A_2002.MAS.
  const std::string extension = name.substr(dot);
  return sourcePath.substr(0, nameStart) + name.substr(0, name.find(extension)) + "_2002" + extension;
}

namespace {

// Counts both passes' steps against one maximum, as one bar shows them.
class ProgressCounter {
 public:
  ProgressCounter(const ConversionHooks& hooks, size_t maximum) : hooks_(hooks), maximum_(maximum) {}
  void Step() {
    ++position_;
    if (hooks_.Progress) hooks_.Progress(position_, maximum_);
  }
  size_t Position() const { return position_; }

 private:
  const ConversionHooks& hooks_;
  size_t maximum_;
  size_t position_ = 0;
};

// A destination that does not exist yet can still be the source by name.
bool SameFile(const std::string& a, const std::string& b) {
  return IsSameFile(a, b) || AbsolutePath(a) == AbsolutePath(b);
}

// A new, uniquely named directory: never one that already holds files of someone else's.
std::string MakeScratchDirectory(const std::string& parent) {
  return platform::MakeUniqueDirectory(JoinPath(parent, "temp-"));
}

std::string TemporaryFolder() {
  return platform::TemporaryFolder();
}

// Whatever a failed entry may have left under its name must not be packed.
void RemoveEntryFile(const std::string& scratch, const std::string& name) {
  const std::string fileName = EntryFileName(name);
  if (IsSafeEntryFileName(fileName)) platform::RemoveFile(JoinPath(scratch, fileName));
}

// Copies every entry into the scratch directory; returns how many files were written.
size_t UnpackPass(const LoadedArchive& archive, const std::string& scratch, ProgressCounter& progress,
                  const ConversionHooks& hooks) {
  bool entryFailed = false;
  EngineHooks entryHooks;
  entryHooks.Report = [&](const std::string& message) {
    entryFailed = true;
    if (hooks.Report) hooks.Report(message);
  };
  size_t written = 0;
  for (size_t i = 0; i < archive.Table.size(); ++i) {
    progress.Step();
    const TMAS_FileEntry& entry = archive.Table[i];
    const std::string name = entry.Name();
    const bool image = entry.FileType == kMasTypeOldBMP;
    entryFailed = false;
    try {
      if (image)
        ConvertImageEntry(archive, i, name, scratch, entryHooks);
      else
        ExtractEntryIntoScratch(archive, i, name, scratch, entryHooks);
      // The pack pass holds each file whole in memory: an entry that inflated far beyond the size
      // its table records (a decompression bomb) is not taken that far.
      const std::string fileName = EntryFileName(name);
      const size_t limit = EntryInflateLimit(entry);
      if (!entryFailed && !image && IsSafeEntryFileName(fileName) &&
          static_cast<uint64_t>(platform::Inspect(JoinPath(scratch, fileName), true).Size) > limit)
        entryHooks.Say("Entry \"" + PrintableEntryName(name) + "\" was skipped: " + EntryInflatesTooFarMessage(entry, limit));
    } catch (const EInOutError& e) {
      entryHooks.Say("Entry \"" + PrintableEntryName(name) + "\" was skipped: " + FileErrorReport(e));
    } catch (const std::bad_alloc&) {
      entryHooks.Say(image ? kImageAllocationFailedMessage : kExportAllocationFailedMessage);
    }
    if (entryFailed)
      RemoveEntryFile(scratch, name);
    else
      ++written;
  }
  return written;
}

// The packed files whose records in the new archive's table name them, hold their length and lie
// inside the archive; only these may leave the scratch directory.
std::vector<std::string> FilesInNewArchive(const std::string& destination, const std::string& scratch,
                                           const PackResult& packed) {
  std::vector<std::string> confirmed;
  LoadedArchive written;
  try {
    written = ReadArchiveTable(destination);
  } catch (const EInOutError&) {
    return confirmed;
  }
  for (size_t i = 0; i < packed.EntriesPacked && i < packed.Files.size() && i < written.Table.size(); ++i) {
    const TMAS_FileEntry& record = written.Table[i];
    const std::string& diskName = packed.Files[i].DiskName;
    const platform::PathInfo st = platform::Inspect(JoinPath(scratch, diskName), true);
    const int64_t end = written.DataStart + record.Offset + static_cast<int64_t>(record.CompressedSize);
    if (record.Name() != StoredNameForFile(diskName).Name || !st.Exists ||
        record.UncompressedSize != st.Size || record.CompressedSize <= 0 || record.Offset < 0 ||
        end > written.FileLength)
      continue;
    confirmed.push_back(diskName);
  }
  return confirmed;
}

// Packs the scratch directory into the destination. The new archive must record every file the
// pack pass took; the packer replaces the destination only then, and one that does not read back
// whole is reported. Either way the files stay where they are. Confirmed files leave the scratch
// directory.
void PackPass(const std::string& scratch, const std::string& destination, ProgressCounter& progress,
              const ConversionHooks& hooks, ConversionResult& result) {
  const auto report = [&](const std::string& message) {
    if (hooks.Report) hooks.Report(message);
  };
  // Scanned here first so that a failure before the destination is touched cannot end in the
  // removal of a file that was there before.
  std::vector<ScannedFile> found;
  try {
    found = ScanDirectory(scratch);
  } catch (const EInOutError&) {
    report("The new archive \"" + destination + "\" was not written: " + kDirectoryMissingMessage);
    return;
  }
  if (found.empty()) {
    report("None of the entries could be packed into the new archive \"" + destination + "\"; it was not written.");
    return;
  }

  // The packer says what stopped it, and may say it again as the error it throws: the user gets
  // one message for the one cause, naming the archive that was not written.
  std::vector<std::string> causes;
  const auto noteCause = [&](const std::string& message) {
    if (std::find(causes.begin(), causes.end(), message) == causes.end()) causes.push_back(message);
  };
  EngineHooks packHooks;
  packHooks.Report = noteCause;
  packHooks.Progress = [&] { progress.Step(); };
  UnknownSequence unknowns = UnknownSequence::FromClock();
  PackResult packed;
  bool stopped = false;
  try {
    packed = PackDirectory(scratch, destination, unknowns, packHooks, PackOptions{.ProgressBeforeEntry = true});
  } catch (const EInOutError& e) {
    if (causes.empty()) noteCause(FileErrorReport(e));
    stopped = true;
  }
  result.FilesFound = packed.FilesFound;
  // A pack that stopped never replaced the destination: whatever was there before is still there.
  if (stopped || !packed.ArchiveWritten) {
    std::string message = "The new archive \"" + destination + "\" was not written";
    for (size_t i = 0; i < causes.size(); ++i) message += (i == 0 ? ": " : "; ") + causes[i];
    report(message + (message.back() == '.' ? "" : "."));
    return;
  }
  result.ArchiveWritten = true;
  for (const std::string& message : causes) report(message);
  const std::vector<std::string> confirmed = FilesInNewArchive(destination, scratch, packed);
  if (confirmed.size() != packed.FilesFound) {
    // The packer has already put the new archive in the old file's place, so removing it now would
    // leave the user with neither; it stays, and so do the unpacked files.
    report("The new archive \"" + destination + "\" does not read back as it was packed; check it before use.");
    return;
  }
  for (const std::string& name : confirmed) platform::RemoveFile(JoinPath(scratch, name));
  result.EntriesPacked = confirmed.size();
}

}  // namespace

ConversionResult ConvertOldArchive(const ConversionOptions& options, const ConversionHooks& hooks) {
  ConversionResult result;
  const auto report = [&](const std::string& message) {
    if (hooks.Report) hooks.Report(message);
  };
  if (SameFile(options.SourcePath, options.DestinationPath)) {
    report("The new archive \"" + options.DestinationPath +
           "\" cannot take the place of the archive it is converted from; it was not written.");
    return result;
  }
  LoadedArchive archive;
  try {
    archive = ReadArchiveTable(options.SourcePath);
  } catch (const EInOutError& e) {
    report(FileErrorReport(e));
    return result;
  }
  result.EntryCount = archive.Table.size();
  if (archive.Table.empty()) return result;

  ProgressCounter progress(hooks, 2 * archive.Table.size());
  const std::string destination = AbsolutePath(options.DestinationPath);
  std::string parent = options.ScratchParent.empty() ? DirectoryOf(archive.Path) : AbsolutePath(options.ScratchParent);
  std::string scratch = MakeScratchDirectory(parent);
  // A source on a disc or in a read-only install has no room beside it: the destination's folder,
  // where the new archive is written anyway, or else the system's temporary folder, serve instead.
  if (options.ScratchParent.empty()) {
    for (const std::string& other : {DirectoryOf(destination), TemporaryFolder()}) {
      if (!scratch.empty()) break;
      scratch = MakeScratchDirectory(other);
    }
  }
  if (scratch.empty()) {
    report(std::string(kDirectoryMissingMessage) + " No scratch folder could be made in \"" + parent +
           "\"; the new archive \"" + destination + "\" was not written.");
    return result;
  }
  result.ScratchDirectory = scratch;
  result.EntriesUnpacked = UnpackPass(archive, scratch, progress, hooks);

  PackPass(scratch, destination, progress, hooks, result);
  result.ProgressPosition = progress.Position();

  // Removing fails while files remain: those are the entries that did not make it, kept for the user.
  if (platform::RemoveEmptyDirectory(scratch) != 0) {
    result.ScratchDirectoryLeft = true;
    const std::string notice = "Entries that did not reach the new archive were left in \"" + scratch + "\".";
    if (hooks.Notice)
      hooks.Notice(notice);
    else
      report(notice);
  }
  return result;
}

}  // namespace kestrel
