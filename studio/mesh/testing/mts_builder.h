// Test-side mesh writer: makes ".MTS" meshes of both layouts, well-formed or deliberately odd,
// for the mesh tests and the demo's car.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "studio/mesh/mts_types.h"

namespace kestrel::testing {

enum class MeshLayout { MTS410, Old };

struct MeshBitmap {
  std::string Name;
  int32_t SwitchMode = 0;        // 2 or more writes the frame fields (4.10 layout)
  std::vector<int32_t> Frames;
  int32_t UnkA = 0, UnkB = 0, FrameUnkA = 0, FrameUnkB = 0;
  std::array<int32_t, 9> Unks{};
  std::optional<int32_t> NumFrames;  // a stored count that lies
};

// Older layout only.
struct MeshSwitchTexture {
  std::string Name;
  int32_t UnkB = 0;
  std::vector<int32_t> Frames;
  int32_t UnkC = 0, UnkD = 0;
};

struct MeshMaterial {
  std::string Name;
  std::vector<MeshBitmap> Bitmaps;  // the older layout stores only their names
  TMTS_Color Diffuse{1, 1, 1, 1}, Ambient{1, 1, 1, 1}, Specular{0, 0, 0, 1}, Emissive{0, 0, 0, 1};
  int32_t UnkA = 0;
  uint16_t SourceBlend = 0, DestBlend = 0;  // 4.10 layout
  float Unk1 = 0;                           // 4.10 layout
  float Power = 0;                          // older layout
  std::vector<MeshSwitchTexture> SwitchTextures;  // older layout
  int32_t UnkItems = 0;                           // older layout: this many 32-byte items
  std::optional<int32_t> NumBitmaps;              // a stored count that lies
};

struct MeshObject {
  int32_t nFlags = 0, UnkA = 0, Unk4sOffset = 0;
  std::vector<TMTS_Vertex> Vertices;
  std::vector<uint16_t> StripIndices;
  std::array<int32_t, 9> lUnks1{};
  std::optional<int32_t> NumVertices;  // a stored count that lies
  std::optional<int32_t> VerticesOffset;
};

// The regions after the cube header, in the order Build writes them.
enum class MeshTable { ObjectHeaders, Vertices, StripIndices, Polygons, FaceNormals };

// Where Build put things; offsets are relative to the cube header, as stored.
struct BuiltMesh {
  std::vector<uint8_t> Bytes;
  int32_t CubeOffset = 0;
  int32_t ObjectHeadersOffset = 0, PolygonsOffset = 0, FaceNormalsOffset = 0;
  std::vector<int32_t> VerticesOffsets, StripOffsets;
};

struct TestMesh {
  std::vector<MeshMaterial> Materials;
  std::vector<MeshObject> Objects;
  std::vector<TMTS_Polygon> Polygons;
  std::vector<TMTS_FaceNormal> FaceNormals;
  std::array<float, 3> WorldPos{};
  int32_t TriListState = kMtsTriListNotOptimized;  // 4.10 layout
  // Object i's vertices, then its strip indices, are written object by object within their regions.
  std::vector<MeshTable> Order = {MeshTable::ObjectHeaders, MeshTable::Vertices, MeshTable::StripIndices,
                                  MeshTable::Polygons, MeshTable::FaceNormals};

  // Stored values that lie about what follows.
  std::optional<int32_t> NumMatObjects;
  std::optional<int32_t> NumObjectHeaders, ObjectHeadersOffset;
  std::optional<int32_t> NumPolygons, PolygonsOffset;
  std::optional<int32_t> NumFaceNormals, FaceNormalsOffset;

  BuiltMesh Build(MeshLayout layout) const;
  std::vector<uint8_t> Bytes(MeshLayout layout) const { return Build(layout).Bytes; }
};

// A vertex at (x, y, z) with normal (nx, ny, nz) and texture coordinate (u, v).
TMTS_Vertex MeshVertex(float x, float y, float z, float nx = 0, float ny = 1, float nz = 0, float u = 0, float v = 0);
// A triangle of object m.
TMTS_Polygon MeshTriangle(uint16_t v0, uint16_t v1, uint16_t v2, int32_t m);

}  // namespace kestrel::testing
