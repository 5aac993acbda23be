// glTF export of one decoded mesh with its textures: found as the preview finds them, decoded
// with the shared picture decoders and embedded as PNG.
#pragma once

#include <string>

#include "studio/mesh/gltf_writer.h"
#include "studio/mesh/mesh_textures.h"
#include "studio/mesh/mts_decoder.h"
#include "studio/mesh/vrml_export.h"

namespace kestrel {

// The content of the glTF files for `mesh`, named `name`. A texture that cannot be found, read or
// decoded leaves its materials white and is named in one line sent to `warn`; so are triangles
// that had to be left out.
GltfContent GltfContentOf(const std::string& name, const AnyMesh& mesh, const TextureFinder& find,
                          const MeshReport& warn);

// GltfContentOf, laid out for `path` (".glb" or ".gltf"; any other name is std::invalid_argument)
// and written. File failures throw EInOutError.
void ExportMeshGltf(const std::string& path, const std::string& name, const AnyMesh& mesh, const TextureFinder& find,
                    const MeshReport& warn);

}  // namespace kestrel
