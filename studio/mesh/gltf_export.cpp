#include "studio/mesh/gltf_export.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

#include "archive/file_error.h"
#include "studio/image/image_decoder.h"
#include "studio/image/png_writer.h"

namespace kestrel {
namespace {

void Say(const MeshReport& report, const std::string& message) {
  if (report) report(message);
}

std::string MaterialList(const GltfGeometry& geometry, const std::string& texture) {
  std::vector<std::string> names;
  for (const GltfPrimitive& p : geometry.Primitives)
    if (p.TextureName == texture) names.push_back(p.MaterialName);
  std::string text = names.size() == 1 ? "material " : "materials ";
  for (size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + names[i];
  return text + (names.size() == 1 ? " stays" : " stay") + " white";
}

// The texture as PNG, or an empty result after one warning line.
std::vector<uint8_t> TexturePng(const std::string& texture, const TextureFinder& find, const GltfGeometry& geometry,
                                const MeshReport& warn) {
  const std::string materials = "; " + MaterialList(geometry, texture);
  std::optional<std::vector<uint8_t>> bytes;
  try {
    bytes = find ? find(texture) : std::nullopt;
  } catch (const EInOutError& e) {
    Say(warn, "texture " + texture + " cannot be read (" + FileErrorReport(e) + ")" + materials);
    return {};
  } catch (const std::exception& e) {
    Say(warn, "texture " + texture + " cannot be read (" + e.what() + ")" + materials);
    return {};
  }
  if (!bytes) {
    Say(warn, "texture " + texture + " not found" + materials);
    return {};
  }
  const std::optional<ImageKind> kind = ImageKindOfName(texture);
  if (!kind) {
    Say(warn, "texture " + texture + " is not a BMP, TGA or JPG file" + materials);
    return {};
  }
  try {
    return EncodePng(DecodeImage(*kind, bytes->data(), bytes->size()));
  } catch (const std::exception& e) {
    Say(warn, "texture " + texture + " cannot be decoded (" + e.what() + ")" + materials);
    return {};
  }
}

}  // namespace

GltfContent GltfContentOf(const std::string& name, const AnyMesh& mesh, const TextureFinder& find,
                          const MeshReport& warn) {
  GltfContent content;
  content.Name = name;
  content.Geometry = std::visit([](const auto& m) { return BuildGltfGeometry(m); }, mesh);
  const size_t skipped = content.Geometry.SkippedTriangles;
  if (skipped)
    Say(warn, std::to_string(skipped) + (skipped == 1 ? " triangle left out: it names" : " triangles left out: they name") +
                  " no material object with vertices, or a corner past its vertices");
  std::vector<std::string> tried;
  for (const GltfPrimitive& p : content.Geometry.Primitives) {
    if (p.TextureName.empty() || std::find(tried.begin(), tried.end(), p.TextureName) != tried.end()) continue;
    tried.push_back(p.TextureName);
    std::vector<uint8_t> png = TexturePng(p.TextureName, find, content.Geometry, warn);
    if (!png.empty()) content.TexturePngs.emplace(p.TextureName, std::move(png));
  }
  return content;
}

void ExportMeshGltf(const std::string& path, const std::string& name, const AnyMesh& mesh, const TextureFinder& find,
                    const MeshReport& warn) {
  const std::optional<GltfForm> form = GltfFormOfPath(path);
  if (!form) throw std::invalid_argument(path + ": a glTF file name ends in .glb or .gltf");
  WriteGltfFiles(LayOutGltf(GltfContentOf(name, mesh, find, warn), path, *form));
}

}  // namespace kestrel
