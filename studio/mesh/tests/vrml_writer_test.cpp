#include "studio/mesh/vrml_writer.h"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>

#include "archive/testing/mas_builder.h"
#include "studio/mesh/mts_dump.h"
#include "studio/mesh/tests/comma_locale.h"
#include "studio/mesh/tests/sample_meshes.h"

namespace kestrel {
namespace {

using testing::Bitmap;
using testing::Decoded;
using testing::Material;
using testing::MeshTriangle;
using testing::MeshVertex;
using testing::TestMesh;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::string L(int indent, const std::string& text) { return std::string(static_cast<size_t>(indent), ' ') + text + "\r\n"; }

// Two materials (one without bitmap) over two objects; triangles of both interleaved.
TestMesh TwoMaterialMesh() {
  TestMesh mesh;
  mesh.Materials = {Material("car body#2", {Bitmap("BODY.BMP"), Bitmap("SECOND.BMP")}), Material("GLASS", {})};
  mesh.Objects.resize(2);
  mesh.Objects[0].Vertices = {MeshVertex(1, 2, 1.5f, 0, kNaN, 1, 0.5f, 0.25f), MeshVertex(0, 0, -0.25f, 1, 0, 0, 0, 1),
                              MeshVertex(-1, 0.5f, 0, 0, 1, 0, 1, 0)};
  mesh.Objects[1].Vertices = {MeshVertex(0, 0, 0), MeshVertex(1, 0, 0), MeshVertex(0, 1, 0)};
  mesh.Polygons = {MeshTriangle(0, 1, 2, 0), MeshTriangle(0, 1, 2, 1), MeshTriangle(2, 1, 0, 0)};
  mesh.WorldPos = {0.5f, 0, 0.25f};
  return mesh;
}

std::string MaterialBlock(const std::string& def, const std::string& texture, const std::vector<std::string>& points,
                          const std::vector<std::string>& normals, const std::vector<std::string>& texCoords,
                          const std::vector<std::string>& faces) {
  std::string s = L(12, "DEF " + def + " Transform {") + L(15, "children [") + L(18, "Shape {") +
                  L(21, "appearance Appearance {") + L(24, "material Material {") + L(27, "diffuseColor 1 1 1") +
                  L(27, "transparency 0") + L(27, "ambientIntensity 0") + L(24, "}") +
                  L(24, "texture ImageTexture {") + L(27, "url \"" + texture + "\"") + L(24, "}") + L(21, "}") +
                  L(21, "geometry DEF " + def + "-FACES IndexedFaceSet {") + L(24, "ccw TRUE") +
                  L(24, "coord DEF " + def + "-COORD Coordinate {") + L(27, "point [");
  for (const std::string& p : points) s += L(30, p);
  s += L(27, "]") + L(24, "}") + L(24, "normal Normal {") + L(27, "vector [");
  for (const std::string& n : normals) s += L(30, n);
  s += L(27, "]") + L(24, "}") + L(24, "normalPerVertex TRUE") + L(24, "texCoord DEF " + def + "-TEXCOORD TextureCoordinate {") +
       L(27, "point [");
  for (const std::string& t : texCoords) s += L(30, t);
  s += L(27, "]") + L(24, "}") + L(24, "coordIndex [");
  for (const std::string& f : faces) s += L(27, f);
  s += L(24, "]") + L(21, "}") + L(18, "}") + L(15, "]") + L(12, "}");
  return s;
}

std::string ExpectedTwoMaterialBlock(const std::string& name) {
  return L(6, "DEF " + name + " Transform {") + L(9, "children [") +
         MaterialBlock("car_body_2", "BODY.BMP",
                       {"1.5000 2.0000 -1.7500,", "0.5000 0.0000 0.0000,", "-0.5000 0.5000 -0.2500"},
                       {"0.0000 0.0000 -1.0000,", "1.0000 0.0000 0.0000,", "0.0000 1.0000 0.0000"},
                       {"0.50000000 0.75000000,", "0.00000000 0.00000000,", "1.00000000 1.00000000"},
                       {"0 1 2 -1,", "2 1 0 -1"}) +
         MaterialBlock("GLASS", "BLACK.BMP",
                       {"0.5000 0.0000 -0.2500,", "1.5000 0.0000 -0.2500,", "0.5000 1.0000 -0.2500"},
                       {"0.0000 1.0000 0.0000,", "0.0000 1.0000 0.0000,", "0.0000 1.0000 0.0000"},
                       {"0.00000000 1.00000000,", "0.00000000 1.00000000,", "0.00000000 1.00000000"},
                       {"0 1 2 -1,"}) +
         L(9, "]") + L(6, "}");
}

const std::string kDate = "Tue Mar 04 09:05:07 2003";

TEST(WriteMeshVRML, WritesACompleteDocumentForEitherLayout) {
  testing::TempDir dir;
  const std::string expected = L(0, "#VRML V2.0 utf8") + L(0, "") +
                               L(0, "# Produced by Kestrel VRML Exporter, version 1.42") + L(0, "# Date: " + kDate) +
                               L(0, "") + L(0, "DEF MASTER Transform {") + L(3, "children [") +
                               ExpectedTwoMaterialBlock("CAR") + L(3, "]") + L(0, "}");
  std::vector<std::string> messages;
  const MeshReport report = [&](const std::string& m) { messages.push_back(m); };
  ASSERT_TRUE(WriteMeshVRML(dir / "A.WRL", "CAR", Decoded<TMTS410>(TwoMaterialMesh()), false, kDate, report));
  ASSERT_TRUE(WriteMeshVRML(dir / "B.WRL", "CAR", Decoded<TMTS>(TwoMaterialMesh()), false, kDate, report));
  EXPECT_EQ(testing::ReadFileText(dir / "A.WRL"), expected);
  EXPECT_EQ(testing::ReadFileText(dir / "B.WRL"), expected);
  EXPECT_TRUE(messages.empty());
}

TEST(WriteMeshVRML, AppendAddsTheBlockAloneAndReportsFileErrors) {
  testing::TempDir dir;
  const TMTS410 mesh = Decoded<TMTS410>(TwoMaterialMesh());
  testing::WriteFileBytes(dir / "ALL.WRL", testing::BytesOf("start\r\n"));
  std::vector<std::string> messages;
  const MeshReport report = [&](const std::string& m) { messages.push_back(m); };
  EXPECT_TRUE(WriteMeshVRML(dir / "ALL.WRL", "ONE", mesh, true, kDate, report));
  EXPECT_EQ(testing::ReadFileText(dir / "ALL.WRL"), "start\r\n" + ExpectedTwoMaterialBlock("ONE"));

  EXPECT_FALSE(WriteMeshVRML(dir / "NONE.WRL", "ONE", mesh, true, kDate, report));  // nothing to append to
  EXPECT_FALSE(WriteMeshVRML(dir / "no/X.WRL", "ONE", mesh, false, kDate, report));
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(messages[0].find("NONE.WRL"), std::string::npos) << messages[0];
  EXPECT_NE(messages[1].find("X.WRL"), std::string::npos) << messages[1];
}

TEST(MeshVRMLBlock, MeshWithoutMaterialsHasAnEmptyChildrenList) {
  TestMesh mesh;
  mesh.Objects.resize(1);
  mesh.Objects[0].Vertices = {MeshVertex(1, 1, 1)};
  mesh.Polygons = {MeshTriangle(0, 0, 0, 0)};
  EXPECT_EQ(MeshVRMLBlock("EMPTY", Decoded<TMTS410>(mesh)),
            L(6, "DEF EMPTY Transform {") + L(9, "children [") + L(9, "]") + L(6, "}"));
}

// Triangles that name a missing object or a corner past its vertices are left out; a material
// without an object header has empty lists; no value outside the decoded lists is read.
TEST(MeshVRMLBlock, LeavesOutTrianglesThatBreakThePairing) {
  TestMesh mesh;
  mesh.Materials = {Material("A", {}), Material("B", {}), Material("A", {})};
  mesh.Objects.resize(2);
  mesh.Objects[0].Vertices = {MeshVertex(0, 0, 0), MeshVertex(1, 0, 0), MeshVertex(0, 1, 0)};
  mesh.Polygons = {MeshTriangle(0, 1, 2, 0),     MeshTriangle(0, 1, 3, 0),  MeshTriangle(65535, 0, 0, 0),
                   MeshTriangle(0, 0, 0, 1),     MeshTriangle(0, 1, 2, 2),  MeshTriangle(0, 1, 2, -1),
                   MeshTriangle(0, 1, 2, 1 << 30)};
  const std::string block = MeshVRMLBlock("ODD", Decoded<TMTS410>(mesh));
  const std::string faces0 = L(24, "coordIndex [") + L(27, "0 1 2 -1,") + L(24, "]");
  const std::string emptyFaces = L(24, "coordIndex [") + L(24, "]");
  const std::string emptyPoints = L(27, "point [") + L(27, "]");
  const size_t first = block.find(faces0);
  ASSERT_NE(first, std::string::npos) << block;
  // Material 1's object has no vertices and material 2 has no object at all: empty lists.
  const std::string rest = block.substr(first + faces0.size());
  EXPECT_EQ(rest.find("\r\n" + std::string(30, ' ')), std::string::npos) << rest;
  size_t emptyLists = 0;
  for (size_t at = 0; (at = rest.find(emptyFaces, at)) != std::string::npos; at += emptyFaces.size()) ++emptyLists;
  EXPECT_EQ(emptyLists, 2u);
  // Repeated material names give repeated DEF names.
  EXPECT_NE(rest.find(L(12, "DEF A Transform {")), std::string::npos);
  EXPECT_NE(rest.find(emptyPoints), std::string::npos);
}

TEST(MeshVRMLBlock, NonFiniteValuesAreWrittenAsZero) {
  TestMesh mesh;
  mesh.Materials = {Material("M", {Bitmap("T.BMP")})};
  mesh.Objects.resize(1);
  mesh.Objects[0].Vertices = {MeshVertex(kNaN, std::numeric_limits<float>::infinity(), kNaN, kNaN, kNaN, kNaN, kNaN,
                                         std::numeric_limits<float>::infinity())};
  const std::string old = MeshVRMLBlock("N", Decoded<TMTS>(mesh));
  EXPECT_NE(old.find(L(30, "0.0000 0.0000 0.0000") + L(27, "]") + L(24, "}") + L(24, "normal Normal {") +
                     L(27, "vector [") + L(30, "0.0000 0.0000 0.0000")),
            std::string::npos)
      << old;
  EXPECT_NE(old.find(L(30, "0.00000000 0.00000000")), std::string::npos) << old;
}

TEST(WriteMeshVRML, UsesAPointWhateverTheLocaleAndLeavesTheLocaleAlone) {
  testing::TempDir dir;
  const TMTS410 mesh = Decoded<TMTS410>(TwoMaterialMesh());
  std::string numericBefore, numericAfter;
  {
    testing::CommaLocale comma;
    if (!comma.CActive()) std::cout << "[   NOTE   ] no C locale with \",\" here; only the C++ locale is changed\n";
    numericBefore = std::setlocale(LC_NUMERIC, nullptr);
    ASSERT_TRUE(WriteMeshVRML(dir / "A.WRL", "CAR", mesh, false, kDate, {}));
    numericAfter = std::setlocale(LC_NUMERIC, nullptr);
    // The dump takes its separator from the caller, not from the process either.
    EXPECT_NE(MTSDumpText(mesh, ".").find("     d3dMat/diffuse:               0.5000, 0.2500"), std::string::npos);
  }
  EXPECT_EQ(numericBefore, numericAfter);
  EXPECT_NE(testing::ReadFileText(dir / "A.WRL").find(ExpectedTwoMaterialBlock("CAR")), std::string::npos);
}

TEST(FormatVRMLDate, DayMonthAndTwoDigitFields) {
  std::tm t{};
  t.tm_year = 103;
  t.tm_mon = 2;
  t.tm_mday = 4;
  t.tm_wday = 2;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 7;
  EXPECT_EQ(FormatVRMLDate(t), kDate);
  t.tm_mon = 11;
  t.tm_wday = 0;
  t.tm_mday = 31;
  t.tm_hour = 23;
  t.tm_year = 8099;
  EXPECT_EQ(FormatVRMLDate(t), "Sun Dec 31 23:05:07 9999");
}

}  // namespace
}  // namespace kestrel
