#include "studio/mesh/mesh_textures.h"

#include <dirent.h>

#include <algorithm>
#include <memory>

#include "archive/file_io.h"
#include "studio/mesh/number_format.h"

namespace kestrel {
namespace {

// The file in `directory` named `name` exactly, or else the alphabetically first one whose name
// equals it ignoring the letters' case: files copied from a game's CD are often lower-cased.
std::optional<std::string> FileBeside(const std::string& directory, const std::string& name) {
  if (!IsSafeEntryFileName(name)) return std::nullopt;
  const std::string exact = JoinPath(directory, name);
  if (FileExists(exact)) return exact;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.empty() ? "." : directory.c_str()), ::closedir);
  if (!dir) return std::nullopt;
  std::vector<std::string> matches;
  while (const dirent* e = ::readdir(dir.get()))
    if (EqualsIgnoreAsciiCase(e->d_name, name) && FileExists(JoinPath(directory, e->d_name)))
      matches.emplace_back(e->d_name);
  if (matches.empty()) return std::nullopt;
  return JoinPath(directory, *std::min_element(matches.begin(), matches.end()));
}

}  // namespace

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

TextureFinder TexturesBesideOrInside(std::string directory, const std::vector<TMAS_FileEntry>* table,
                                     MeshEntryReader read) {
  return [directory = std::move(directory), table, read = std::move(read)](
             const std::string& name) -> std::optional<std::vector<uint8_t>> {
    if (name.empty()) return std::nullopt;
    if (const std::optional<std::string> path = FileBeside(directory, name)) return ReadWholeFile(*path);
    if (table && read)
      for (size_t i = 0; i < table->size(); ++i)
        if (EqualsIgnoreAsciiCase((*table)[i].Name(), name)) return read(i);
    return std::nullopt;
  };
}

}  // namespace kestrel
