#include "studio/mesh/mesh_preview_build.h"

#include <cstdio>
#include <exception>
#include <filesystem>

#include "archive/entry_name_encoding.h"
#include "archive/file_io.h"
#include "studio/mesh/vrml_export.h"

namespace kestrel {
namespace {

void Tell(const std::function<void(const std::string&)>& hook, const std::string& text) {
  if (hook) hook(text);
}

// One material's texture: beside the archive, else from the archive through the scratch directory.
void LoadMaterialTexture(const std::string& name, const MeshPreviewSource& source, GLTextures& loaders,
                         uint32_t& texture) {
  // A name that could leave its directory would have the extraction write, and then delete, a file
  // anywhere the user may write.
  if (!IsSafeEntryFileName(name)) return;
  if (const auto beside = FindFileInDirectory(DirectoryOf(source.ArchivePath), name)) {
    loaders.LoadTextureFile(*beside, texture);  // the user's file stays where it is
    return;
  }
  const int entry = source.FindEntry ? source.FindEntry(name) : -1;
  if (entry < 0) return;
  std::filesystem::create_directories(source.ScratchDirectory);
  const std::string scratch = JoinPath(source.ScratchDirectory, EntryFileName(name));
  source.ExtractEntry(entry, scratch);
  if (FileExists(scratch)) {
    // Deleted even when the loader refuses the file, so the scratch directory empties again.
    struct RemoveAfterwards {
      const std::string& path;
      ~RemoveAfterwards() { std::remove(path.c_str()); }
    } removeAfterwards{scratch};
    loaders.LoadTextureFile(scratch, texture);
  }
}

}  // namespace

MeshPreviewResult BuildMeshPreview(int index, MeshViewState& view, const MeshPreviewSource& source,
                                   const MeshPreviewHooks& hooks, DisplayListTarget& lists,
                                   TextureUploader& uploader) {
  view.CurrentMeshEntry = index;
  const std::optional<std::vector<uint8_t>> data = source.ReadEntry ? source.ReadEntry(index) : std::nullopt;
  if (!data) {
    Tell(hooks.PlainError, kShowMTSErrorMessage);
    return MeshPreviewResult::NotRead;
  }
  AnyMesh mesh;
  if (!DecodeAnyMesh(data->data(), data->size(), mesh, hooks.DecoderError)) return MeshPreviewResult::NotDecoded;

  ReleaseMeshLists(view.MeshLists, view.MeshTextures, lists);
  const std::vector<std::optional<std::string>> names = MaterialTextureNames(mesh);
  view.MeshTextures.assign(names.size(), 0);
  try {
    if (view.TexturesOn) {
      Tell(hooks.Status, kLoadingTexturesStatus);
      GLTextures loaders(uploader, hooks.TextureError);
      for (size_t i = 0; i < names.size(); ++i)
        if (names[i]) LoadMaterialTexture(*names[i], source, loaders, view.MeshTextures[i]);
      Tell(hooks.Status, "");
    }
    view.MeshLists = BuildMeshLists(mesh, view.MeshTextures, view.TexturesOn, lists);
  } catch (const std::exception&) {
    Tell(hooks.Status, "");
    Tell(hooks.PlainError, kShowMTSErrorMessage);
    return MeshPreviewResult::Failed;
  }
  return MeshPreviewResult::Built;
}

}  // namespace kestrel
