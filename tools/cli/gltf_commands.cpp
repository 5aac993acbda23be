// kestrel-cli's glTF export: one mesh file or mesh entry, or every mesh entry of an archive.
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/entry_name_encoding.h"
#include "archive/file_error.h"
#include "archive/file_io.h"
#include "archive/mas_format.h"
#include "cli_command.h"
#include "entry_argument.h"
#include "studio/mesh/gltf_export.h"

namespace kestrel::cli {
namespace {

bool CheckForm(const std::string& out) {
  if (GltfFormOfPath(out)) return true;
  Fail(out + ": the output's name must end in .glb (one binary file) or .gltf (JSON with .bin and .png files)");
  return false;
}

// Lays out and writes the files; none of them may be the file the mesh comes from.
bool Write(const GltfContent& content, const std::string& out, const std::string& input) {
  try {
    const std::vector<GltfFile> files = LayOutGltf(content, out, *GltfFormOfPath(out));
    for (const GltfFile& f : files)
      if (OutputIsInput(f.Path, input)) return false;
    WriteGltfFiles(files);
    return true;
  } catch (const EInOutError& e) {
    Fail(FileErrorReport(e));
  } catch (const std::length_error& e) {
    Fail(out + ": " + e.what());
  }
  return false;
}

int ExportLooseMesh(const std::string& meshPath, const std::string& out) {
  if (!CheckForm(out) || OutputIsInput(out, meshPath)) return 1;
  const std::optional<std::vector<uint8_t>> bytes = ReadFileOrReport(meshPath);
  if (!bytes) return 1;
  AnyMesh mesh;
  if (!DecodeAnyMesh(bytes->data(), bytes->size(), mesh, Report))
    return Fail(meshPath + " is not a mesh that can be read");
  const GltfContent content =
      GltfContentOf(VRMLObjectName(FileNameOf(meshPath)), mesh, TexturesBesideOrInside(DirectoryOf(meshPath)), Warn);
  return Write(content, out, meshPath) ? 0 : 1;
}

// Reads and decodes mesh entry `index`; failures are reported through `report`.
bool ReadEntryMesh(const LoadedArchive& archive, size_t index, AnyMesh& mesh, const MeshReport& report) {
  std::vector<uint8_t> bytes;
  try {
    bytes = EntryReader(archive)(index);
  } catch (const EInOutError& e) {
    report(FileErrorReport(e));
    return false;
  } catch (const std::exception& e) {
    report(e.what());
    return false;
  }
  return DecodeAnyMesh(bytes.data(), bytes.size(), mesh, report);
}

TextureFinder ArchiveTextures(const LoadedArchive& archive) {
  return TexturesBesideOrInside(DirectoryOf(archive.Path), &archive.Table, EntryReader(archive));
}

int ExportArchiveEntry(const std::string& archivePath, const std::string& entry, const std::string& out) {
  if (!CheckForm(out) || OutputIsInput(out, archivePath)) return 1;
  const std::optional<LoadedArchive> archive = LoadArchiveOrReport(archivePath);
  if (!archive) return 1;
  const std::optional<size_t> index = ResolveEntryArgument(*archive, entry);
  if (!index) return 1;
  const TMAS_FileEntry& e = archive->Table[*index];
  if (e.FileType != kMasTypeMTS)
    return Fail(PrintableEntryName(e.Name()) + " is not a mesh entry (type " + std::to_string(e.FileType) + ", " +
                MASTypeName(e.FileType) + ")");
  AnyMesh mesh;
  if (!ReadEntryMesh(*archive, *index, mesh, Report)) return Fail(PrintableEntryName(e.Name()) + " is not a mesh that can be read");
  const GltfContent content = GltfContentOf(VRMLObjectName(EntryNameToUtf8(e.Name())), mesh, ArchiveTextures(*archive), Warn);
  return Write(content, out, archivePath) ? 0 : 1;
}

// "CAR.glb" for CAR.MTS; a name an earlier entry already took (letter case ignored) gets the
// entry's table position added, so no export overwrites another.
std::string OutputName(const TMAS_FileEntry& entry, size_t index, std::vector<std::string>& taken) {
  const auto isTaken = [&](const std::string& name) {
    for (const std::string& t : taken)
      if (EqualsIgnoreAsciiCase(t, name)) return true;
    return false;
  };
  const std::string stem = VRMLObjectName(EntryNameToUtf8(entry.Name()));
  std::string name = stem + ".glb";
  for (int n = 0; isTaken(name); ++n)
    name = stem + "_" + std::to_string(index) + (n ? "_" + std::to_string(n) : "") + ".glb";
  taken.push_back(name);
  return name;
}

}  // namespace

int RunGltf(const Args& args) {
  if (args.size() == 2) return ExportLooseMesh(args[0], args[1]);
  return ExportArchiveEntry(args[0], args[1], args[2]);
}

int RunGltfAll(const Args& args) {
  const std::string& directory = args[1];
  const std::optional<LoadedArchive> archive = LoadArchiveOrReport(args[0]);
  if (!archive) return 1;
  size_t meshes = 0;
  for (const TMAS_FileEntry& e : archive->Table)
    if (e.FileType == kMasTypeMTS) ++meshes;
  if (meshes == 0) return Fail(std::string(kNoMeshEntriesMessage));
  if (!OutputDirectoryOrReport(directory)) return 1;

  const TextureFinder textures = ArchiveTextures(*archive);
  std::vector<std::string> taken;
  size_t written = 0;
  for (size_t i = 0; i < archive->Table.size(); ++i) {
    const TMAS_FileEntry& e = archive->Table[i];
    if (e.FileType != kMasTypeMTS) continue;
    // Messages about one mesh name the entry they belong to.
    const MeshReport report = [&e](const std::string& message) { Fail(PrintableEntryName(e.Name()) + ": " + message); };
    const MeshReport warn = [&e](const std::string& message) { Warn(PrintableEntryName(e.Name()) + ": " + message); };
    const std::string name = OutputName(e, i, taken);
    if (!IsSafeEntryFileName(name)) {
      report("the entry's name cannot be a file name; left out");
      continue;
    }
    AnyMesh mesh;
    if (!ReadEntryMesh(*archive, i, mesh, report)) continue;
    if (Write(GltfContentOf(VRMLObjectName(EntryNameToUtf8(e.Name())), mesh, textures, warn), JoinPath(directory, name), args[0]))
      ++written;
  }
  if (written < meshes)
    return Fail(std::to_string(meshes - written) + " of " + std::to_string(meshes) + " mesh entries not exported");
  return 0;
}

}  // namespace kestrel::cli
