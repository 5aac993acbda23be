#include "studio/mesh/mesh_textures.h"


#include <algorithm>
#include <memory>
#include <variant>

#include "archive/file_io.h"
#include "studio/mesh/number_format.h"

namespace kestrel {

std::optional<std::string> FindFileInDirectory(const std::string& directory, const std::string& name) {
  if (!IsSafeEntryFileName(name)) return std::nullopt;
  const std::string exact = JoinPath(directory, name);
  if (FileExists(exact)) return exact;
  std::vector<std::string> matches;
  for (const std::string& entry : platform::ListDirectory(directory))
    if (EqualsIgnoreAsciiCase(entry, name) && FileExists(JoinPath(directory, entry))) matches.push_back(entry);
  if (matches.empty()) return std::nullopt;
  return JoinPath(directory, *std::min_element(matches.begin(), matches.end()));
}

std::string MaterialTextureName(const TMTS410_MatObject& material) {
  if (material.Bitmaps.empty()) return {};
  const TMTS410_Bitmap& first = material.Bitmaps.front();
  if (first.NumFrames > 0 && !first.Frames.empty())
    return first.Name + mesh_text::IntMinDigits(first.Frames.front(), 2) + ".BMP";
  return first.Name;
}

std::string MaterialTextureName(const TMTS_MatObject& material) {
  return material.Bitmaps.empty() ? std::string() : material.Bitmaps.front();
}

std::vector<std::optional<std::string>> MaterialTextureNames(const AnyMesh& mesh) {
  std::vector<std::optional<std::string>> names;
  std::visit(
      [&](const auto& m) {
        for (const auto& material : m.MatObjects)
          names.push_back(material.Bitmaps.empty() ? std::nullopt
                                                   : std::optional<std::string>(MaterialTextureName(material)));
      },
      mesh);
  return names;
}

TextureFinder TexturesBesideOrInside(std::string directory, const std::vector<TMAS_FileEntry>* table,
                                     MeshEntryReader read) {
  return [directory = std::move(directory), table, read = std::move(read)](
             const std::string& name) -> std::optional<std::vector<uint8_t>> {
    if (name.empty()) return std::nullopt;
    if (const std::optional<std::string> path = FindFileInDirectory(directory, name)) return ReadWholeFile(*path);
    if (table && read)
      for (size_t i = 0; i < table->size(); ++i)
        if (EqualsIgnoreAsciiCase((*table)[i].Name(), name)) return read(i);
    return std::nullopt;
  };
}

}  // namespace kestrel
