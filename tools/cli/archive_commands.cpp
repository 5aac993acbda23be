// kestrel-cli's archive commands: copy an entry out, replace, add and remove entries, check an archive.
#include <algorithm>
#include <climits>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "archive/archive_check.h"
#include "archive/archive_editing.h"
#include "archive/entry_name_encoding.h"
#include "archive/file_io.h"
#include "archive/file_replacement.h"
#include "archive/zbuffer.h"
#include "cli_command.h"
#include "entry_argument.h"

namespace kestrel::cli {
namespace {

std::string Quoted(const std::string& name) { return "\"" + PrintableEntryName(name) + "\""; }

// A file to become an entry, read whole; one the table cannot record is refused before reading.
std::vector<uint8_t> ReadEntrySource(const std::string& path) {
  BinaryFile file = BinaryFile::OpenRead(path);
  if (file.Size() > INT32_MAX)
    throw EArchiveEditError(path + " is 2 GiB or larger, more than an archive entry can hold");
  return file.ReadExact(static_cast<size_t>(file.Size()));
}

}  // namespace

int RunExtract(const Args& args) {
  const std::optional<LoadedArchive> archive = LoadArchiveOrReport(args[0]);
  if (!archive) return 1;
  const std::optional<size_t> index = ResolveEntryArgument(*archive, args[1]);
  if (!index) return 1;
  const TMAS_FileEntry& entry = archive->Table[*index];
  std::string output = args.size() == 3 ? args[2] : EntryFileName(entry.Name());
  if (args.size() == 2 && !IsSafeEntryFileName(output))
    return Fail("entry " + Quoted(entry.Name()) + " has no plain file name; give the output file as OUT");
  if (OutputIsInput(output, args[0])) return 1;
  return Guarded<EArchiveEditError, EZLibError>([&] {
    std::vector<uint8_t> bytes;
    try {
      bytes = DecodeEntryBytes(entry, ReadStoredBytes(*archive, *index));
    } catch (const EZLibError& e) {
      return Fail("entry " + Quoted(entry.Name()) + " does not decode (" + e.what() + "); nothing was written");
    }
    if (static_cast<int64_t>(bytes.size()) != entry.UncompressedSize)
      Warn("entry " + Quoted(entry.Name()) + " decodes to " + std::to_string(bytes.size()) + " bytes, not the " +
           std::to_string(entry.UncompressedSize) + " its table gives; all of them were written");
    // An existing output is replaced whole or kept as it was.
    ReplaceFileContents(output, bytes.data(), bytes.size());
    return 0;
  });
}

int RunReplace(const Args& args) {
  const std::optional<LoadedArchive> archive = LoadArchiveOrReport(args[0]);
  if (!archive) return 1;
  const std::optional<size_t> index = ResolveEntryArgument(*archive, args[1]);
  if (!index) return 1;
  return Guarded<EArchiveEditError, EZLibError>([&] {
    CheckWritableIfExists(archive->Path);  // before the compression, which may take a while
    ReplaceEntry(*archive, *index, EncodeEntryContent(ReadEntrySource(args[2])));
    return 0;
  });
}

int RunAdd(const Args& args) {
  const std::string& path = args[0];
  size_t added = 0;
  const int status = Guarded<EArchiveEditError, EZLibError>([&] {
    for (size_t i = 1; i < args.size(); ++i) {
      // Each file is one rewrite of the archive as the previous one left it.
      const LoadedArchive archive = ReadArchiveTable(path);
      CheckWritableIfExists(archive.Path);
      const std::string name = AddedEntryName(args[i]);  // a name the table cannot hold, before reading
      const EncodedEntry content = EncodeEntryContent(ReadEntrySource(args[i]));
      AppendEntry(archive, name, AddedEntryType(args[i]), content);
      ++added;
    }
    return 0;
  });
  if (status != 0 && added > 0)
    Report(std::to_string(added) + " of " + std::to_string(args.size() - 1) + " files were added before that");
  return status;
}

int RunRemove(const Args& args) {
  const std::optional<LoadedArchive> archive = LoadArchiveOrReport(args[0]);
  if (!archive) return 1;
  // Every ENTRY names an entry of the archive as it is now, so all are resolved before the first
  // removal; removing from the back keeps the positions of the others valid.
  std::set<size_t> positions;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::optional<size_t> index = ResolveEntryArgument(*archive, args[i]);
    if (!index) return 1;
    positions.insert(*index);
  }
  size_t removed = 0;
  const int status = Guarded<EArchiveEditError, EZLibError>([&] {
    for (auto it = positions.rbegin(); it != positions.rend(); ++it) {
      RemoveEntry(ReadArchiveTable(args[0]), *it);
      ++removed;
    }
    return 0;
  });
  if (status != 0 && removed > 0)
    Report(std::to_string(removed) + " of " + std::to_string(positions.size()) + " entries were removed before that");
  return status;
}

int RunTest(const Args& args) {
  return Guarded<EArchiveEditError, EZLibError>([&] {
    const ArchiveCheckResult result = CheckArchive(args[0]);
    for (const std::string& problem : result.Problems) std::cout << problem << '\n';
    if (!result.Problems.empty()) {
      std::cout.flush();
      return Fail(std::to_string(result.Problems.size()) + (result.Problems.size() == 1 ? " problem" : " problems") +
                  " in " + args[0]);
    }
    std::cout << result.EntryCount << " entries OK\n";
    return 0;
  });
}

}  // namespace kestrel::cli
