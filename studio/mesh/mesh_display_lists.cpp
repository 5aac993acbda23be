#include "studio/mesh/mesh_display_lists.h"

#include <array>
#include <variant>

#include "studio/mesh/mesh_traversal.h"

namespace kestrel {
namespace {

MeshCorner CornerOf(const TMTS_Vertex& v) {
  return {v.U, 1.0f - v.V, v.NX, v.NY, -v.NZ, v.X, v.Y, -v.Z};
}

size_t MaterialCount(const AnyMesh& mesh) {
  return std::visit([](const auto& m) { return m.MatObjects.size(); }, mesh);
}

const TMTS_Cube& CubeOf(const AnyMesh& mesh) {
  return std::visit([](const auto& m) -> const TMTS_Cube& { return m.Cube; }, mesh);
}

}  // namespace

void ReleaseMeshLists(std::vector<uint32_t>& lists, std::vector<uint32_t>& textures, DisplayListTarget& target) {
  for (const uint32_t list : lists) target.DeleteList(list);
  for (const uint32_t texture : textures)
    if (texture != 0) target.DeleteTexture(texture);
  lists.clear();
  textures.clear();
}

std::vector<uint32_t> BuildMeshLists(const AnyMesh& mesh, const std::vector<uint32_t>& textures, bool bindTextures,
                                     DisplayListTarget& target) {
  const TMTS_Cube& cube = CubeOf(mesh);
  const bool olderLayout = std::holds_alternative<TMTS>(mesh);
  const size_t materials = MaterialCount(mesh);
  std::vector<uint32_t> lists;
  lists.reserve(materials);
  for (size_t i = 0; i < materials; ++i) {
    lists.push_back(target.BeginList());
    if (bindTextures) target.BindTexture(i < textures.size() ? textures[i] : 0);
    target.BeginTriangles();
    const std::vector<TMTS_Vertex>& vertices = MaterialVertices(cube, i);
    for (const size_t j : MaterialTriangles(cube, i)) {
      const TMTS_Polygon& p = cube.Polygons[j];
      const bool reversed = olderLayout && j % 2 == 1;
      const std::array<uint16_t, 3> corners = reversed ? std::array<uint16_t, 3>{p.V2, p.V1, p.V0}
                                                       : std::array<uint16_t, 3>{p.V0, p.V1, p.V2};
      for (const uint16_t corner : corners) target.Corner(CornerOf(vertices[corner]));
    }
    target.EndTriangles();
    target.EndList();
  }
  return lists;
}

}  // namespace kestrel
