// Which texture file a material draws with, and where that file is looked for beside a mesh or an
// archive: one rule for the studio's preview and every exporter that embeds textures.
#pragma once

#include <cstdint>
#include <functional>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "archive/mas_format.h"
#include "studio/mesh/mts_types.h"
#include "studio/mesh/vrml_export.h"

namespace kestrel {

// The first bitmap's name, or with frames that name, the first frame number in at least two
// digits and ".BMP" (LIGHT with frames 3, 4: "LIGHT03.BMP"). Empty when there is no bitmap.
std::string MaterialTextureName(const TMTS410_MatObject& material);
std::string MaterialTextureName(const TMTS_MatObject& material);
// One per material object, in order; nothing for a material without a bitmap.
std::vector<std::optional<std::string>> MaterialTextureNames(const AnyMesh& mesh);

// The file named `storedName` (Windows-1252, as meshes and archives store names) in `directory`,
// under its UTF-8 file name: that exact name, else the alphabetically first name there that differs
// from it only in the letter case of a to z (files copied from a game's CD are often lower-cased).
// Nothing when neither exists or the name could leave the directory.
std::optional<std::string> FindFileInDirectory(const std::string& directory, const std::string& storedName);

// The texture file bytes for a name; nothing when no file or entry has that name. A file or
// entry that exists but cannot be read throws (EInOutError or another std::exception).
using TextureFinder = std::function<std::optional<std::vector<uint8_t>>(const std::string& name)>;

// Looks in `directory` first (FindFileInDirectory), then, when `table` is given, for the first archive entry of that name
// (letter case ignored), read through `read`. Names that would leave the directory are not
// looked for beside it.
TextureFinder TexturesBesideOrInside(std::string directory, const std::vector<TMAS_FileEntry>* table = nullptr,
                                     MeshEntryReader read = {});

}  // namespace kestrel
