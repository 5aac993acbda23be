#include "studio/mesh/mesh_traversal.h"

namespace kestrel {

const std::vector<TMTS_Vertex>& MaterialVertices(const TMTS_Cube& cube, size_t i) {
  static const std::vector<TMTS_Vertex> kNone;
  return i < cube.ObjectHeaders.size() ? cube.ObjectHeaders[i].Vertices : kNone;
}

std::vector<size_t> MaterialTriangles(const TMTS_Cube& cube, size_t i) {
  const size_t count = MaterialVertices(cube, i).size();
  std::vector<size_t> triangles;
  for (size_t j = 0; j < cube.Polygons.size(); ++j) {
    const TMTS_Polygon& p = cube.Polygons[j];
    if (p.M < 0 || static_cast<size_t>(p.M) != i) continue;
    if (p.V0 < count && p.V1 < count && p.V2 < count) triangles.push_back(j);
  }
  return triangles;
}

}  // namespace kestrel
