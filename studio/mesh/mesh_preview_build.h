// Building the mesh preview's model for one archive entry: read, decode, release the model on
// show, load the textures (beside the archive, else extracted for a moment into the scratch
// directory) and compile the display lists. Plain C++: the archive access, the messages and the
// OpenGL calls come in through the caller's hooks and interfaces.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "studio/mesh/gl_textures.h"
#include "studio/mesh/mesh_display_lists.h"
#include "studio/mesh/mesh_textures.h"
#include "studio/mesh/mesh_view_state.h"
#include "studio/mesh/mts_decoder.h"

namespace kestrel {

inline constexpr char kShowMTSErrorMessage[] = "ShowMTS: Error";
inline constexpr char kLoadingTexturesStatus[] = "Loading textures";

struct MeshPreviewSource {
  std::string ArchivePath;       // textures are looked for in its folder first
  std::string ScratchDirectory;  // where textures found only in the archive are extracted
  // The entry's decoded bytes; reports its own failures and gives nothing.
  std::function<std::optional<std::vector<uint8_t>>(int index)> ReadEntry;
  // The table index of the entry of that name, or -1.
  std::function<int(const std::string& name)> FindEntry;
  // Writes the entry's bytes to the path; may throw.
  std::function<bool(int index, const std::string& path)> ExtractEntry;
};

struct MeshPreviewHooks {
  MeshReport DecoderError;                              // an error box with the decoder's reason
  std::function<void(const std::string&)> PlainError;  // "ShowMTS: Error"
  TextureMessage TextureError;                          // the loaders' own boxes
  std::function<void(const std::string&)> Status;       // the status bar text
};

enum class MeshPreviewResult {
  NotRead,     // the entry could not be read: the previous model stays
  NotDecoded,  // the decoder refused it: the previous model stays
  Failed,      // a failure while building: the previous model is gone
  Built,
};

// ShowMTS for entry `index`, with the preview's context current. Records the index as
// view.CurrentMeshEntry whatever happens; the caller redraws afterwards.
MeshPreviewResult BuildMeshPreview(int index, MeshViewState& view, const MeshPreviewSource& source,
                                   const MeshPreviewHooks& hooks, DisplayListTarget& lists,
                                   TextureUploader& uploader);

}  // namespace kestrel
