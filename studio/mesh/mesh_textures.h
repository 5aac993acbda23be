// Which texture file a material draws with, and where that file is looked for: the same rules
// the studio's preview follows, shared by every exporter that embeds textures.
#pragma once

#include <cstdint>
#include <functional>
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

// The texture file bytes for a name; nothing when no file or entry has that name. A file or
// entry that exists but cannot be read throws (EInOutError or another std::exception).
using TextureFinder = std::function<std::optional<std::vector<uint8_t>>(const std::string& name)>;

// Looks in `directory` first (the name as stored, else the one file whose name differs only in
// the letters a to z), then, when `table` is given, for the first archive entry of that name
// (letter case ignored), read through `read`. Names that would leave the directory are not
// looked for beside it.
TextureFinder TexturesBesideOrInside(std::string directory, const std::vector<TMAS_FileEntry>* table = nullptr,
                                     MeshEntryReader read = {});

}  // namespace kestrel
