// The decoded meshes of the two ".MTS" layouts: `TMTS410` (magic "CUBE_MTS_4.10") and `TMTS` (the
// older layout without magic), with the part both share, `TMTS_Cube`.
//
// Every count keeps the value stored in the file next to its list. After a successful decode each
// list holds exactly that many items; consumers index the lists, never the counts, so that a record
// built by hand cannot lead them outside what was decoded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

constexpr size_t kMtsNameSize = 32;
constexpr size_t kMts410MagicSize = 16;
constexpr size_t kMts410CubeHeaderSize = 328;
constexpr size_t kMtsCubeHeaderSize = 232;  // older layout
constexpr size_t kMtsObjectHeaderSize = 64;
constexpr size_t kMtsVertexSize = 48;
constexpr size_t kMtsPolygonSize = 36;
constexpr size_t kMtsFaceNormalSize = 16;

// TriListState value of a triangle list that was never optimized.
constexpr int32_t kMtsTriListNotOptimized = 32768;

struct TMTS_Color {
  float R = 0, G = 0, B = 0, A = 0;
};

struct TMTS_Vertex {
  float X = 0, Y = 0, Z = 0;
  float NX = 0, NY = 0, NZ = 0;
  int32_t C = 0;
  int32_t U1 = 0;
  float U = 0, V = 0;  // V runs top-down: consumers use 1 - V
  int32_t U20 = 0;
  int32_t U21 = 0;
};

struct TMTS_Polygon {
  uint16_t V0 = 0, V1 = 0, V2 = 0;  // corners in the vertex list of object M
  uint16_t Unk1 = 0;
  int32_t M = 0;   // object (and material object) the triangle belongs to
  int32_t FN = 0;  // face normal index, not used for drawing
  float One = 0;
  std::array<int32_t, 4> Unks{};
};

struct TMTS_FaceNormal {
  float X = 0, Y = 0, Z = 0, W = 0;
};

struct TMTS_ObjectHeader {
  int32_t nFlags = 0;
  int32_t UnkA = 0;
  int32_t NumVertices = 0;
  int32_t VerticesOffset = 0;  // from the cube header, like every stored offset
  int32_t NumStripIndices = 0;
  int32_t TristripOffset = 0;
  int32_t Unk4sOffset = 0;  // of a table nobody reads
  std::array<int32_t, 9> lUnks1{};
  std::vector<uint16_t> StripIndices;
  std::vector<TMTS_Vertex> Vertices;
};

struct TMTS_Cube {
  int32_t NumObjectHeaders = 0;
  int32_t ObjectHeadersOffset = 0;
  std::vector<TMTS_ObjectHeader> ObjectHeaders;
  int32_t NumPolygons = 0;
  int32_t PolygonsOffset = 0;
  std::vector<TMTS_Polygon> Polygons;
  int32_t NumFaceNormals = 0;
  int32_t FaceNormalsOffset = 0;
  std::vector<TMTS_FaceNormal> FaceNormals;
  std::array<float, 3> WorldPos{};
};

// ---- 4.10 layout ----

struct TMTS410_Material {
  TMTS_Color Diffuse, Ambient, Specular, Emissive;
};

struct TMTS410_Bitmap {
  std::string Name;  // texture file name, or the stem of the frame file names
  int32_t UnkA = 0;
  int32_t UnkB = 0;
  int32_t SwitchMode = 0;  // 2 or more: the frame fields are present in the file
  int32_t NumFrames = 0;
  std::vector<int32_t> Frames;
  int32_t FrameUnkA = 0;
  int32_t FrameUnkB = 0;
  std::array<int32_t, 9> Unks{};
};

struct TMTS410_MatObject {
  std::string Name;
  int32_t UnkA = 0;
  TMTS410_Material d3dMat;
  uint16_t SourceBlend = 0;
  uint16_t DestBlend = 0;
  float Unk1 = 0;
  int32_t NumBitmaps = 0;
  std::vector<TMTS410_Bitmap> Bitmaps;
};

struct TMTS410 {
  std::array<uint8_t, kMts410MagicSize> Magic{};
  int32_t NumMatObjects = 0;
  std::vector<TMTS410_MatObject> MatObjects;
  int32_t CubeOffset = 0;  // position of the cube header in the mesh data
  TMTS_Cube Cube;
  std::array<uint8_t, kMts410CubeHeaderSize> CubeHeader{};  // for fields no member carries

  int32_t TriListState() const;
};

// ---- older layout ----

struct TMTS_Material {
  TMTS_Color Diffuse, Ambient, Specular, Emissive;
  float Power = 0;
};

using TMTS_NameField = std::string;              // a char[32] name as decoded
using TMTS_UnkItem = std::array<uint8_t, 32>;    // 32 bytes nobody interprets

struct TMTS_SwitchTexture {
  std::string Name;
  std::array<uint8_t, 32> UnkA{};
  int32_t UnkB = 0;
  int32_t NumFrames = 0;
  std::vector<int32_t> Frames;
  int32_t UnkC = 0;
  int32_t UnkD = 0;
};

struct TMTS_MatObject {
  std::string Name;
  int32_t NumBitmaps = 0;
  std::vector<TMTS_NameField> Bitmaps;
  int32_t NumSwitchTextures = 0;
  std::vector<TMTS_SwitchTexture> SwitchTextures;
  int32_t NumUnkItems = 0;
  std::vector<TMTS_UnkItem> UnkItems;
  int32_t UnkA = 0;
  TMTS_Material d3dMat;
  std::array<uint8_t, 8> UnkB{};
  std::array<uint8_t, 8> UnkC{};
  uint16_t UnkD = 0;
  uint16_t UnkE = 0;
  std::array<uint8_t, 8> UnkF{};
};

struct TMTS {
  int32_t NumMatObjects = 0;
  std::vector<TMTS_MatObject> MatObjects;
  int32_t CubeOffset = 0;
  TMTS_Cube Cube;
  std::array<uint8_t, kMtsCubeHeaderSize> CubeHeader{};
};

}  // namespace kestrel
