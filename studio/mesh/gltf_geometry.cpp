#include "studio/mesh/gltf_geometry.h"

#include <cmath>
#include <limits>

#include "studio/mesh/mesh_textures.h"
#include "studio/mesh/mesh_traversal.h"

namespace kestrel {
namespace {

using Vec3 = std::array<double, 3>;

// The float a glTF reader gets for `value`; what is not finite as a float is 0. Values past the
// float range are caught before the conversion, which would be undefined for them.
float Finite(double value) {
  if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) return 0.0f;
  return static_cast<float>(value);
}

Vec3 Minus(const std::array<float, 3>& a, const std::array<float, 3>& b) {
  return {double(a[0]) - b[0], double(a[1]) - b[1], double(a[2]) - b[2]};
}

Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// `v` scaled to unit length, or nothing when it has no usable length.
bool Normalized(const Vec3& v, std::array<float, 3>& out) {
  const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (!(length > 0) || !std::isfinite(length)) return false;
  out = {Finite(v[0] / length), Finite(v[1] / length), Finite(v[2] / length)};
  return true;
}

// A vertex normal of no length (zeros in the file, or NaNs written as 0) gets the summed,
// area-weighted direction of the triangles that use the vertex; one that no triangle gives a
// direction points up.
void RepairNormals(GltfPrimitive& p, const std::vector<bool>& broken) {
  std::vector<Vec3> sums(p.Positions.size(), Vec3{0, 0, 0});
  for (size_t t = 0; t + 2 < p.Indices.size(); t += 3) {
    const uint32_t a = p.Indices[t], b = p.Indices[t + 1], c = p.Indices[t + 2];
    const Vec3 n = Cross(Minus(p.Positions[b], p.Positions[a]), Minus(p.Positions[c], p.Positions[a]));
    for (uint32_t k : {a, b, c})
      if (broken[k])
        for (int i = 0; i < 3; ++i) sums[k][i] += n[i];
  }
  for (size_t k = 0; k < p.Normals.size(); ++k)
    if (broken[k] && !Normalized(sums[k], p.Normals[k])) p.Normals[k] = {0.0f, 1.0f, 0.0f};
}

GltfPrimitive BuildPrimitive(size_t i, const std::string& materialName, std::string textureName,
                             const TMTS_Cube& cube, bool oddTrianglesReversed) {
  GltfPrimitive p;
  p.MaterialObject = i;
  p.MaterialName = materialName;
  p.TextureName = std::move(textureName);
  const std::vector<TMTS_Vertex>& vertices = MaterialVertices(cube, i);
  const double wx = cube.WorldPos[0], wy = cube.WorldPos[1], wz = cube.WorldPos[2];

  std::vector<bool> broken(vertices.size(), false);
  for (size_t k = 0; k < vertices.size(); ++k) {
    const TMTS_Vertex& v = vertices[k];
    p.Positions.push_back({Finite(wx + v.X), Finite(wy + v.Y), Finite(-(wz + v.Z))});
    std::array<float, 3> normal{};
    broken[k] = !Normalized({Finite(v.NX), Finite(v.NY), Finite(-static_cast<double>(v.NZ))}, normal);
    p.Normals.push_back(normal);
    p.TexCoords.push_back({Finite(v.U), Finite(v.V)});
  }

  for (size_t j : MaterialTriangles(cube, i)) {
    const TMTS_Polygon& t = cube.Polygons[j];
    if (oddTrianglesReversed && j % 2 == 1)
      p.Indices.insert(p.Indices.end(), {t.V2, t.V1, t.V0});
    else
      p.Indices.insert(p.Indices.end(), {t.V0, t.V1, t.V2});
  }
  RepairNormals(p, broken);
  return p;
}

template <typename Mesh>
GltfGeometry Build(const Mesh& mesh, bool oddTrianglesReversed) {
  GltfGeometry g;
  const TMTS_Cube& cube = mesh.Cube;
  size_t drawn = 0;
  for (size_t i = 0; i < mesh.MatObjects.size(); ++i) {
    GltfPrimitive p = BuildPrimitive(i, mesh.MatObjects[i].Name, MaterialTextureName(mesh.MatObjects[i]), cube,
                                     oddTrianglesReversed);
    drawn += p.Indices.size() / 3;
    if (!p.Indices.empty()) g.Primitives.push_back(std::move(p));
  }
  g.SkippedTriangles = cube.Polygons.size() - drawn;
  return g;
}

}  // namespace

GltfGeometry BuildGltfGeometry(const TMTS410& mesh) { return Build(mesh, false); }
GltfGeometry BuildGltfGeometry(const TMTS& mesh) { return Build(mesh, true); }

}  // namespace kestrel
