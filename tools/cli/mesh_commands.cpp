// kestrel-cli's mesh commands: the developer's dump and the two VRML exports, over the mesh library.
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/entry_name_encoding.h"
#include "archive/file_error.h"
#include "archive/file_io.h"
#include "archive/mas_format.h"
#include "cli_command.h"
#include "entry_argument.h"
#include "studio/mesh/mts_decoder.h"
#include "studio/mesh/mts_dump.h"
#include "studio/mesh/vrml_export.h"
#include "studio/mesh/vrml_writer.h"

namespace kestrel::cli {
namespace {

// The "# Date:" text: SOURCE_DATE_EPOCH (UTC) when set, so that output can be reproduced,
// otherwise the local time now. False when SOURCE_DATE_EPOCH is not a count of seconds.
bool VRMLDateNow(std::string& date) {
  std::tm parts{};
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
    const std::string text = epoch;
    int64_t seconds = -1;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    const std::time_t t = static_cast<std::time_t>(seconds);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || seconds < 0 ||
        !gmtime_r(&t, &parts)) {
      Fail("SOURCE_DATE_EPOCH is not a number of seconds since 1970: \"" + text + "\"");
      return false;
    }
  } else {
    const std::time_t now = std::time(nullptr);
    localtime_r(&now, &parts);
  }
  date = FormatVRMLDate(parts);
  return true;
}

int ExportLooseMesh(const std::string& meshPath, const std::string& outPath) {
  if (OutputIsInput(outPath, meshPath)) return 1;
  const std::optional<std::vector<uint8_t>> bytes = ReadFileOrReport(meshPath);
  std::string date;
  if (!bytes || !VRMLDateNow(date)) return 1;
  AnyMesh mesh;
  if (!DecodeAnyMesh(bytes->data(), bytes->size(), mesh, Report)) return Fail(kVRMLExportErrorMessage);
  const std::string name = VRMLObjectName(FileNameOf(meshPath));
  return WriteMeshVRML(outPath, name, mesh, false, date, Report) ? 0 : 1;
}

int ExportArchiveEntry(const std::string& archivePath, const std::string& entryName, const std::string& outPath) {
  if (OutputIsInput(outPath, archivePath)) return 1;
  const std::optional<LoadedArchive> archive = LoadArchiveOrReport(archivePath);
  std::string date;
  if (!archive || !VRMLDateNow(date)) return 1;
  const std::optional<size_t> index = ResolveEntryArgument(*archive, entryName);
  if (!index) return 1;
  const TMAS_FileEntry& entry = archive->Table[*index];
  if (entry.FileType != kMasTypeMTS)
    return Fail(PrintableEntryName(entry.Name()) + " is not a mesh entry (type " + std::to_string(entry.FileType) + ", " +
                MASTypeName(entry.FileType) + ")");
  return ExportEntryVRML(archive->Table, *index, EntryReader(*archive), outPath, date, Report) ? 0 : 1;
}

}  // namespace

int RunMeshDump(const Args& args) {
  const std::string& path = args[0];
  if (OutputIsInput(MTSDumpPath(path), path)) return 1;
  const std::optional<std::vector<uint8_t>> bytes = ReadFileOrReport(path);
  if (!bytes) return 1;
  if (!IsMTS410(bytes->data(), bytes->size()))
    return Fail(path + " is not a mesh in the 4.10 layout; only those are dumped");
  TMTS410 mesh;
  if (!DecodeMTS410(bytes->data(), bytes->size(), mesh, Report)) return 1;
  try {
    // The C library's current numeric locale decides the separator, as the studio's user locale does.
    WriteMTSDump(MTSDumpPath(path), mesh, std::localeconv()->decimal_point);
  } catch (const EInOutError& e) {
    return Fail(FileErrorReport(e));
  }
  return 0;
}

int RunVrml(const Args& args) {
  if (args.size() == 2) return ExportLooseMesh(args[0], args[1]);
  return ExportArchiveEntry(args[0], args[1], args[2]);
}

int RunVrmlAll(const Args& args) {
  const std::string& outPath = args[1];
  if (OutputIsInput(outPath, args[0])) return 1;
  const std::optional<LoadedArchive> archive = LoadArchiveOrReport(args[0]);
  std::string date;
  if (!archive || !VRMLDateNow(date)) return 1;

  // Messages about one mesh name the entry they belong to.
  std::string current;
  const MeshReport report = [&current](const std::string& message) {
    Fail(current.empty() ? message : current + ": " + message);
  };
  const MeshEntryStarted started = [&](size_t index) {
    current = index < archive->Table.size() ? PrintableEntryName(archive->Table[index].Name()) : std::string();
  };
  const CombinedVRMLResult result =
      ExportAllMeshesVRML(archive->Table, EntryReader(*archive), outPath, date, report, started);

  using Status = CombinedVRMLResult::Status;
  switch (result.status) {
    case Status::NoEntries: return Fail(kNoMeshEntriesMessage);
    case Status::NoMeshes: return 1;
    case Status::Unfinished: return Fail(outPath + " is unfinished");
    case Status::Complete: break;
  }
  if (result.Written < result.MeshEntries)
    return Fail(std::to_string(result.MeshEntries - result.Written) + " of " + std::to_string(result.MeshEntries) +
                " mesh entries left out of " + outPath);
  return 0;
}

}  // namespace kestrel::cli
