// The display-list build: texture names, one list per material, the order of the corners.
#include <gtest/gtest.h>

#include "studio/mesh/tests/recording_gl.h"
#include "studio/mesh/tests/sample_meshes.h"
#include "studio/mesh/mesh_display_lists.h"
#include "studio/mesh/mesh_textures.h"

namespace kestrel::testing {
namespace {

// The corners' positions as emitted, for comparing orders.
std::vector<float> Xs(const std::vector<MeshCorner>& corners) {
  std::vector<float> xs;
  for (const MeshCorner& c : corners) xs.push_back(c.X);
  return xs;
}

TestMesh FourTriangles() {
  TestMesh mesh;
  mesh.Materials = {Material("A", {}), Material("B", {})};
  MeshObject a, b;
  for (int i = 0; i < 4; ++i) a.Vertices.push_back(MeshVertex(static_cast<float>(i), 0, 0));
  b.Vertices = {MeshVertex(10, 0, 0), MeshVertex(11, 0, 0), MeshVertex(12, 0, 0)};
  mesh.Objects = {a, b};
  mesh.Polygons = {MeshTriangle(0, 1, 2, 0), MeshTriangle(1, 2, 3, 0), MeshTriangle(0, 1, 2, 1),
                   MeshTriangle(2, 1, 0, 1)};
  return mesh;
}

TEST(MeshTextureNames, FirstBitmapWithItsFirstFrameOrItsName) {
  TestMesh built;
  built.Materials = {Material("BODY", {Bitmap("BODY.BMP", 1), Bitmap("OTHER.BMP")}),
                     Material("LIGHT", {Bitmap("LIGHT", 2, {3, 4})}),
                     Material("BIG", {Bitmap("BIG", 2, {123})}),
                     Material("NOFRAMES", {Bitmap("PLAIN.TGA", 2, {})}),
                     Material("NONE", {})};
  built.Objects.resize(5);
  const std::vector<std::optional<std::string>> expected = {"BODY.BMP", "LIGHT03.BMP", "BIG123.BMP", "PLAIN.TGA",
                                                            std::nullopt};
  EXPECT_EQ(MaterialTextureNames(AnyMesh(Decoded<TMTS410>(built))), expected);

  // The older layout keeps only names; frames never change them.
  const std::vector<std::optional<std::string>> older = {"BODY.BMP", "LIGHT", "BIG", "PLAIN.TGA", std::nullopt};
  EXPECT_EQ(MaterialTextureNames(AnyMesh(Decoded<TMTS>(built))), older);
}

TEST(MeshDisplayLists, OneListPerMaterialWithItsOwnTrianglesAndTexture) {
  RecordingGL gl;
  const std::vector<uint32_t> lists = BuildMeshLists(AnyMesh(Decoded<TMTS410>(FourTriangles())), {7, 0}, true, gl);
  ASSERT_EQ(lists.size(), 2u);
  EXPECT_EQ(gl.lists[lists[0]].bound, std::vector<uint32_t>{7});
  EXPECT_EQ(gl.lists[lists[1]].bound, std::vector<uint32_t>{0});
  EXPECT_EQ(Xs(gl.lists[lists[0]].corners), (std::vector<float>{0, 1, 2, 1, 2, 3}));
  EXPECT_EQ(Xs(gl.lists[lists[1]].corners), (std::vector<float>{10, 11, 12, 12, 11, 10}));
  EXPECT_TRUE(gl.lists[lists[1]].ended);

  // Built while textures are off: nothing is bound.
  RecordingGL off;
  const std::vector<uint32_t> unbound = BuildMeshLists(AnyMesh(Decoded<TMTS410>(FourTriangles())), {7, 0}, false, off);
  EXPECT_TRUE(off.lists[unbound[0]].bound.empty());
}

TEST(MeshDisplayLists, OlderLayoutReversesTheTrianglesAtOddPositions) {
  RecordingGL gl;
  const std::vector<uint32_t> lists = BuildMeshLists(AnyMesh(Decoded<TMTS>(FourTriangles())), {}, true, gl);
  // Positions 1 and 3 of the table are odd, whichever material they belong to.
  EXPECT_EQ(Xs(gl.lists[lists[0]].corners), (std::vector<float>{0, 1, 2, 3, 2, 1}));
  EXPECT_EQ(Xs(gl.lists[lists[1]].corners), (std::vector<float>{10, 11, 12, 10, 11, 12}));
}

TEST(MeshDisplayLists, CornersCarryFlippedTextureRowAndMirroredZ) {
  TestMesh built;
  built.Materials = {Material("A", {})};
  MeshObject object;
  object.Vertices = {MeshVertex(1, 2, 3, 0.25f, 0.5f, 0.75f, 0.125f, 0.25f), MeshVertex(0, 0, 0), MeshVertex(0, 0, 0)};
  built.Objects = {object};
  built.Polygons = {MeshTriangle(0, 1, 2, 0)};
  RecordingGL gl;
  const std::vector<uint32_t> lists = BuildMeshLists(AnyMesh(Decoded<TMTS410>(built)), {}, true, gl);
  const MeshCorner c = gl.lists[lists[0]].corners.at(0);
  EXPECT_EQ(c.S, 0.125f);
  EXPECT_EQ(c.T, 0.75f);
  EXPECT_EQ(c.NX, 0.25f);
  EXPECT_EQ(c.NY, 0.5f);
  EXPECT_EQ(c.NZ, -0.75f);
  EXPECT_EQ(c.X, 1);
  EXPECT_EQ(c.Y, 2);
  EXPECT_EQ(c.Z, -3);
}

TEST(MeshDisplayLists, BrokenPairingsAreLeftOutAndNoMaterialsMeansNoLists) {
  TestMesh built = FourTriangles();
  built.Materials.push_back(Material("NO HEADER", {}));  // a third material without an object header
  built.Polygons = {MeshTriangle(0, 1, 9, 0),   // a corner past the object's vertices
                    MeshTriangle(0, 1, 2, 5),   // no such object
                    MeshTriangle(0, 1, 2, -1),  // negative object
                    MeshTriangle(0, 1, 2, 2),   // the object without a header
                    MeshTriangle(0, 1, 2, 1)};
  RecordingGL gl;
  const std::vector<uint32_t> lists = BuildMeshLists(AnyMesh(Decoded<TMTS410>(built)), {}, true, gl);
  ASSERT_EQ(lists.size(), 3u);
  EXPECT_TRUE(gl.lists[lists[0]].corners.empty());
  EXPECT_EQ(gl.lists[lists[1]].corners.size(), 3u);
  EXPECT_TRUE(gl.lists[lists[2]].corners.empty());

  RecordingGL none;
  EXPECT_TRUE(BuildMeshLists(AnyMesh(Decoded<TMTS410>(TestMesh{})), {}, true, none).empty());
  EXPECT_TRUE(none.lists.empty());
}

}  // namespace
}  // namespace kestrel::testing
