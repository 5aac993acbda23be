#include "studio/mesh/vrml_export.h"

#include <exception>
#include <optional>

#include "archive/file_error.h"
#include "archive/file_replacement.h"
#include "studio/mesh/text_file.h"
#include "studio/mesh/vrml_writer.h"

namespace kestrel {
namespace {

void Say(const MeshReport& report, const std::string& message) {
  if (report) report(message);
}

// Reads and decodes one entry; a reader failure is reported with the reader's own text.
bool ReadMesh(const MeshEntryReader& read, size_t index, AnyMesh& mesh, const MeshReport& report) {
  std::vector<uint8_t> bytes;
  try {
    bytes = read(index);
  } catch (const EInOutError& e) {
    Say(report, FileErrorReport(e));
    return false;
  } catch (const std::exception& e) {
    Say(report, e.what());
    return false;
  }
  return DecodeAnyMesh(bytes.data(), bytes.size(), mesh, report);
}

}  // namespace

bool DecodeAnyMesh(const uint8_t* data, size_t size, AnyMesh& out, const MeshReport& report) {
  if (IsMTS410(data, size)) {
    out.emplace<TMTS410>();
    return DecodeMTS410(data, size, std::get<TMTS410>(out), report);
  }
  out.emplace<TMTS>();
  return DecodeMTS(data, size, std::get<TMTS>(out), report);
}

bool WriteMeshVRML(const std::string& path, const std::string& objectName, const AnyMesh& mesh, bool append,
                   const std::string& date, const MeshReport& report) {
  return std::visit([&](const auto& m) { return WriteMeshVRML(path, objectName, m, append, date, report); }, mesh);
}

std::string VRMLObjectName(const std::string& fileName) {
  const size_t dot = fileName.rfind('.');
  return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

bool ExportEntryVRML(const std::vector<TMAS_FileEntry>& table, size_t index, const MeshEntryReader& read,
                     const std::string& path, const std::string& date, const MeshReport& report) {
  AnyMesh mesh;
  if (index >= table.size() || table[index].FileType != kMasTypeMTS || !ReadMesh(read, index, mesh, report)) {
    Say(report, kVRMLExportErrorMessage);
    return false;
  }
  return WriteMeshVRML(path, VRMLObjectName(table[index].Name()), mesh, false, date, report);
}

CombinedVRMLResult ExportAllMeshesVRML(const std::vector<TMAS_FileEntry>& table, const MeshEntryReader& read,
                                       const std::string& path, const std::string& date, const MeshReport& report,
                                       const MeshEntryStarted& started) {
  using Status = CombinedVRMLResult::Status;
  CombinedVRMLResult result;
  if (table.empty()) return result;
  for (const TMAS_FileEntry& e : table)
    if (e.FileType == kMasTypeMTS) ++result.MeshEntries;
  if (result.MeshEntries == 0) {
    Say(report, kNoMeshEntriesMessage);
    result.status = Status::NoMeshes;
    return result;
  }

  // The combined file grows beside the old one and takes its place only once it is closed, so an
  // export that fails or is killed half-way never leaves a cut file or loses the previous one.
  std::optional<FileReplacement> file;
  try {
    file.emplace(path);
    const std::string header = VRMLCombinedHeader(date);
    file->File().WriteAll(header.data(), header.size());
  } catch (const EInOutError& e) {
    Say(report, FileErrorReport(e));
    result.status = Status::Unfinished;
    return result;
  }
  for (size_t i = 0; i < table.size(); ++i) {
    if (table[i].FileType != kMasTypeMTS) continue;
    if (started) started(i);
    AnyMesh mesh;
    if (!ReadMesh(read, i, mesh, report)) continue;
    const std::string block =
        std::visit([&](const auto& m) { return MeshVRMLBlock(VRMLObjectName(table[i].Name()), m); }, mesh);
    try {
      file->File().WriteAll(block.data(), block.size());
      ++result.Written;
    } catch (const EInOutError& e) {
      // A file that cannot take a block (a full disk) cannot take the rest either: the export
      // stops and the file at the path stays as it was.
      Say(report, FileErrorReport(e));
      result.status = Status::Unfinished;
      return result;
    }
  }
  if (started) started(table.size());

  try {
    const std::string closing = VRMLClosingLines();
    file->File().WriteAll(closing.data(), closing.size());
    file->Commit();
    result.status = Status::Complete;
  } catch (const EInOutError& e) {
    Say(report, FileErrorReport(e));
    result.status = Status::Unfinished;
  }
  return result;
}

}  // namespace kestrel
