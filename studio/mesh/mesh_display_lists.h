// Turning a decoded mesh into display lists, one per material object, through a small interface
// that the OpenGL code implements and the tests record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "studio/mesh/mts_types.h"
#include "studio/mesh/vrml_export.h"

namespace kestrel {

// One corner as it is handed to OpenGL: texture coordinate (U, 1 - V), normal and position with
// their Z reversed.
struct MeshCorner {
  float S = 0, T = 0;
  float NX = 0, NY = 0, NZ = 0;
  float X = 0, Y = 0, Z = 0;
};

class DisplayListTarget {
 public:
  virtual ~DisplayListTarget() = default;
  // Generates a list name and starts compiling it (compile only).
  virtual uint32_t BeginList() = 0;
  virtual void BindTexture(uint32_t texture) = 0;  // 0 binds the default texture
  virtual void BeginTriangles() = 0;
  virtual void Corner(const MeshCorner& corner) = 0;
  virtual void EndTriangles() = 0;
  virtual void EndList() = 0;
  virtual void DeleteList(uint32_t list) = 0;
  virtual void DeleteTexture(uint32_t texture) = 0;
};

// Deletes every list and texture of the model on show, one by one, and empties both lists.
void ReleaseMeshLists(std::vector<uint32_t>& lists, std::vector<uint32_t>& textures, DisplayListTarget& target);

// Compiles one list per material object i and returns their names in order. Each list binds
// textures[i] when `bindTextures`, then holds the triangles of the polygon table whose M is i, in
// table order, corners V0, V1, V2; an older-layout mesh draws the triangles at odd positions of the
// table in the order V2, V1, V0. Triangles whose object has no header or whose corners lie past
// that object's vertices are left out.
std::vector<uint32_t> BuildMeshLists(const AnyMesh& mesh, const std::vector<uint32_t>& textures, bool bindTextures,
                                     DisplayListTarget& target);

}  // namespace kestrel
