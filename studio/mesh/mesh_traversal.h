// How the consumers of a decoded mesh pair its tables: object header i holds the vertices of
// material object i, and a triangle belongs to material i when its object number is i. Triangles
// that break the pairing (no such header, a corner past its vertices) are never handed out, so
// nothing outside the decoded lists is read.
#pragma once

#include <cstddef>
#include <vector>

#include "studio/mesh/mts_types.h"

namespace kestrel {

// The vertices of material i; empty when the mesh has no object header i.
const std::vector<TMTS_Vertex>& MaterialVertices(const TMTS_Cube& cube, size_t i);

// Table positions, in table order, of the triangles material i draws: object number i and every
// corner below the count of MaterialVertices(cube, i).
std::vector<size_t> MaterialTriangles(const TMTS_Cube& cube, size_t i);

}  // namespace kestrel
