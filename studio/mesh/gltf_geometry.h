// A decoded mesh of either layout in the form glTF stores it: one primitive per material object
// that has triangles, in glTF's frame (right-handed, Y up, counter-clockwise front faces).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "studio/mesh/mts_types.h"

namespace kestrel {

struct GltfPrimitive {
  size_t MaterialObject = 0;       // the material object (and object header) it comes from
  std::string MaterialName;        // as stored
  std::string TextureName;         // the file the material draws with; empty for none
  std::vector<std::array<float, 3>> Positions;
  std::vector<std::array<float, 3>> Normals;
  std::vector<std::array<float, 2>> TexCoords;
  std::vector<uint32_t> Indices;   // three per triangle, into this primitive's vertices
};

struct GltfGeometry {
  std::vector<GltfPrimitive> Primitives;
  // Triangles that name no material object with an object header, or a corner past that
  // object's vertices: they cannot be drawn and are left out.
  size_t SkippedTriangles = 0;
};

// Each primitive holds all vertices of its object header:
// - positions moved by the world position, with Z reversed, as the VRML export writes them;
// - normals with Z reversed too, scaled to unit length; a normal of no length takes the
//   direction of the faces that use the vertex;
// - texture coordinates (U, V) as stored: glTF puts the picture's top row at V = 0, where the
//   OpenGL preview, whose textures start with the bottom row, needs 1 - V;
// - corners in the preview's order: V0, V1, V2, except for the older layout's triangles at odd
//   positions of the table, which are stored the other way round and so are turned back.
// Every NaN or infinite number is written as 0.
GltfGeometry BuildGltfGeometry(const TMTS410& mesh);
GltfGeometry BuildGltfGeometry(const TMTS& mesh);

}  // namespace kestrel
