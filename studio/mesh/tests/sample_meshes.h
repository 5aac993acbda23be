// Meshes the mesh tests share.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "studio/mesh/mts_decoder.h"
#include "studio/mesh/testing/mts_builder.h"

namespace kestrel::testing {

inline MeshBitmap Bitmap(const std::string& name, int32_t switchMode = 0, std::vector<int32_t> frames = {}) {
  MeshBitmap b;
  b.Name = name;
  b.SwitchMode = switchMode;
  b.Frames = std::move(frames);
  b.UnkA = 11;
  b.UnkB = 12;
  b.FrameUnkA = 13;
  b.FrameUnkB = 14;
  for (int i = 0; i < 9; ++i) b.Unks[static_cast<size_t>(i)] = 100 + i;
  return b;
}

inline MeshMaterial Material(const std::string& name, std::vector<MeshBitmap> bitmaps) {
  MeshMaterial m;
  m.Name = name;
  m.Bitmaps = std::move(bitmaps);
  m.Diffuse = {0.5f, 0.25f, 0.125f, 1};
  m.SourceBlend = 5;
  m.DestBlend = 6;
  m.Unk1 = 2.5f;
  m.Power = 8;
  m.UnkItems = 2;
  m.SwitchTextures = {{"SWITCH", 7, {1, 2, 3}, 8, 9}};
  return m;
}

// Several materials, bitmaps with and without frames, polygons of three objects interleaved in
// one table, a NaN and an infinite coordinate, and the cube tables in an unusual order.
inline TestMesh RichMesh() {
  TestMesh mesh;
  mesh.Materials = {Material("BODY", {Bitmap("BODY.BMP", 1), Bitmap("LIGHT", 2, {3, 4}), Bitmap("DIRT.TGA")}),
                    Material("GLASS", {Bitmap("GLASS.TGA", 2, {})}), Material("NOTEX", {})};
  MeshObject body;
  body.nFlags = 7;
  body.Unk4sOffset = 40;
  body.Vertices = {MeshVertex(0, 0, 0, 0, 1, 0, 0, 0), MeshVertex(1, 0, 0, 0, 1, 0, 1, 0),
                   MeshVertex(1, 1, std::numeric_limits<float>::quiet_NaN(), 0, 0, -1, 1, 1),
                   MeshVertex(0, 1, std::numeric_limits<float>::infinity(), 0, 0, -1, 0, 1)};
  body.StripIndices = {0, 1, 2, 3};
  body.lUnks1 = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  MeshObject glass;
  glass.Vertices = {MeshVertex(0, 2, 0), MeshVertex(1, 2, 0), MeshVertex(0, 3, 0)};
  glass.StripIndices = {2, 1, 0};
  MeshObject none;  // the third object has nothing of its own
  mesh.Objects = {body, glass, none};
  mesh.Polygons = {MeshTriangle(0, 1, 2, 0), MeshTriangle(0, 1, 2, 1), MeshTriangle(0, 2, 3, 0)};
  mesh.Polygons[1].Unks = {1, 2, 3, 42};
  mesh.FaceNormals = {{0, 0, -1, 0}, {0, 0, 1, 0.5f}};
  mesh.WorldPos = {10, 20, 30};
  mesh.Order = {MeshTable::FaceNormals, MeshTable::StripIndices, MeshTable::Polygons, MeshTable::Vertices,
                MeshTable::ObjectHeaders};
  return mesh;
}

// What the decoder of `Mesh`'s layout makes of `bytes`; a refusal fails the test with its reason.
template <typename Mesh>
Mesh DecodedAs(const std::vector<uint8_t>& bytes) {
  Mesh out;
  const MeshReport report = [](const std::string& message) { ADD_FAILURE() << message; };
  bool ok;
  if constexpr (std::is_same_v<Mesh, TMTS410>)
    ok = DecodeMTS410(bytes.data(), bytes.size(), out, report);
  else
    ok = DecodeMTS(bytes.data(), bytes.size(), out, report);
  EXPECT_TRUE(ok);
  return out;
}

// `built` written in the layout of `Mesh` and decoded again.
template <typename Mesh = TMTS410>
Mesh Decoded(const TestMesh& built) {
  return DecodedAs<Mesh>(built.Bytes(std::is_same_v<Mesh, TMTS410> ? MeshLayout::MTS410 : MeshLayout::Old));
}

}  // namespace kestrel::testing
