// glTF 2.0 files for one mesh: a single binary ".glb", or a ".gltf" JSON file with its ".bin"
// buffer and PNG pictures beside it. Output depends only on the input: same mesh, same bytes.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "studio/mesh/gltf_geometry.h"

namespace kestrel {

inline constexpr char kGltfGenerator[] = "Kestrel glTF exporter";

struct GltfContent {
  std::string Name;  // of the mesh, its node and its scene
  GltfGeometry Geometry;
  // PNG files by texture name. A primitive whose texture has none here gets a plain white material.
  std::map<std::string, std::vector<uint8_t>> TexturePngs;
};

enum class GltfForm {
  Binary,  // ".glb": everything in one file
  Text,    // ".gltf": JSON, with the buffer and the pictures in files beside it
};

// By the extension, any letter case; nothing for any other name.
std::optional<GltfForm> GltfFormOfPath(const std::string& path);

struct GltfFile {
  std::string Path;
  std::vector<uint8_t> Bytes;
};

// The files that make up `content` written to `path`. The file at `path` comes last, so that
// writing them in order never leaves it pointing at files that are not there yet. The ".gltf"
// form names its buffer after `path` (CAR.gltf: CAR.bin) and its pictures after `path` and the
// texture (CAR_DCBODY.png). A file too large for glTF's 32-bit sizes throws std::length_error.
std::vector<GltfFile> LayOutGltf(const GltfContent& content, const std::string& path, GltfForm form);

// Writes each file whole through a replacement of its own; a failure throws EInOutError and
// leaves that file as it was.
void WriteGltfFiles(const std::vector<GltfFile>& files);

}  // namespace kestrel
