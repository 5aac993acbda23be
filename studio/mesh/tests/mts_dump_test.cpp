#include "studio/mesh/mts_dump.h"

#include <gtest/gtest.h>

#include <limits>

#include "archive/file_error.h"
#include "archive/testing/mas_builder.h"
#include "studio/mesh/mts_decoder.h"
#include "studio/mesh/number_format.h"
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

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "text after the last line end";
  return lines;
}

// One material with one bitmap, one object with one vertex, one polygon, two face normals.
TestMesh SmallMesh() {
  TestMesh mesh;
  mesh.Materials = {Material("BODY", {Bitmap("A.BMP", 1)})};
  mesh.Materials[0].Specular = {0, 0, 0, 1};
  mesh.Objects.resize(1);
  testing::MeshObject& o = mesh.Objects[0];
  o.nFlags = 7;
  o.Unk4sOffset = 40;
  TMTS_Vertex v = MeshVertex(kNaN, -2.25f, 1.5f, 0, 1, kNaN, 0.5f, 0.25f);
  v.C = 3;
  v.U1 = 4;
  v.U20 = 5;
  v.U21 = 6;
  o.Vertices = {v};
  o.StripIndices = {0, 1, 2};
  o.lUnks1 = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  TMTS_Polygon p = MeshTriangle(0, 0, 0, 0);
  p.Unk1 = 9;
  p.Unks = {1, 2, 3, 42};
  mesh.Polygons = {p};
  mesh.FaceNormals = {{0.6f, 0.8f, 0, 0}, {2, 0, 0, 0}};
  mesh.WorldPos = {1, 2, -3.5f};
  return mesh;
}

TEST(MTSDump, WritesEveryFieldOfASmallMesh) {
  // Cube header at 20 + 112 + 80; then object header, vertex, strip, polygon, face normals.
  const std::string expected = Lines({
      "Number of Objects:            1",
      "",
      "MTS tri-list is not optimized.",
      "",
      "Offsets",
      "     Cube          : 212     ",
      "     ObjectHeaders : 328      (     540)",
      "     Polygons      : 446      (     658)",
      "     FaceNormals   : 482      (     694)",
      "     WorldPos      : 1.00/2.00/-3.50",
      "",
      "     Polygons      : 1",
      "",
      "OBJECT MATERIAL DEFINITION [0]",
      "{",
      "     Object Name:                  BODY",
      "     Number of Bitmaps:            1, A.BMP",
      "     Unk1:                         2.5000",
      "     d3dMat/diffuse:               0.5000, 0.2500, 0.1250, 1.0000",
      "     d3dMat/ambient:               1.0000, 1.0000, 1.0000, 1.0000",
      "     d3dMat/specular:              0.0000, 0.0000, 0.0000, 1.0000",
      "     d3dMat/emissive:              0.0000, 0.0000, 0.0000, 1.0000",
      "     SourceBlend:                  5",
      "     DestBlend:                    6",
      "}",
      "",
      "Number of Objects:            1",
      "",
      "OBJECT 0 (BODY)",
      "{",
      "     Vertices offset     : 604",
      "     Tristrip offset     : 652",
      "     Unk4s offset        : 252",
      "     nFlags              : 7",
      "",
      "     Polygons (Count: 1) :",
      "",
      "       0,   0,   0 | Unk1:        9 | M:  0 FN:   0 | One: 1.0 | Unks:          1/         2/         3/"
      "     00042 (@ 658)",
      "",
      "     Vertex connection list (Count: 3) : 0, 1, 2",
      "",
      "     Vertices (Count: 1) :",
      "",
      "        0.00000,   -2.25000,    1.50000, |    0.00000,    1.00000,        NAN / C:         3, U1:4, / "
      "U:0.500000000000000000 V:   0.25000 / U20:5, U21:6",
      "",
      "     lUnks1",
      "",
      "     1",
      "     2",
      "     3",
      "     4",
      "     5",
      "     6",
      "     7",
      "     8",
      "     9",
      "}",
      "",
      "Face normals : 2",
      "Start : 694",
      "End   : 726",
      "",
      "   0.60000,    0.80000,    0.00000,    0.00000 [Length: 1.0000]",
      "   2.00000,    0.00000,    0.00000,    0.00000 [Length: 4.0000]",
      "",
  });
  EXPECT_EQ(MTSDumpText(Decoded(SmallMesh()), "."), expected);
}

TEST(MTSDump, RealsTakeTheGivenDecimalSeparator) {
  const std::vector<std::string> lines = SplitLines(MTSDumpText(Decoded(SmallMesh()), ","));
  ASSERT_GT(lines.size(), 63u);
  EXPECT_EQ(lines[2], "MTS tri-list is not optimized.");
  EXPECT_EQ(lines[9], "     WorldPos      : 1,00/2,00/-3,50");
  EXPECT_EQ(lines[16], "     Number of Bitmaps:            1, A.BMP");
  EXPECT_EQ(lines[18], "     d3dMat/diffuse:               0,5000, 0,2500, 0,1250, 1,0000");
  EXPECT_NE(lines[37].find("| One: 1,0 |"), std::string::npos) << lines[37];
  EXPECT_EQ(lines[43].substr(0, 55), "        0,00000,   -2,25000,    1,50000, |    0,00000, ");
  EXPECT_NE(lines[43].find("U:0,500000000000000000 V:   0,25000"), std::string::npos) << lines[43];
  EXPECT_EQ(lines[62], "   0,60000,    0,80000,    0,00000,    0,00000 [Length: 1,0000]");
}

TEST(MTSDump, EmptyMeshGivesTheHeadAndTheFaceNormalBlock) {
  TestMesh empty;
  empty.TriListState = 0;
  const std::string expected = Lines({
      "Number of Objects:            0",
      "",
      "MTS tri-list is optimized.",
      "",
      "Offsets",
      "     Cube          : 20      ",
      "     ObjectHeaders : 328      (     348)",
      "     Polygons      : 328      (     348)",
      "     FaceNormals   : 328      (     348)",
      "     WorldPos      : 0.00/0.00/0.00",
      "",
      "     Polygons      : 0",
      "",
      "Number of Objects:            0",
      "",
      "Face normals : 0",
      "Start : 348",
      "End   : 348",
      "",
      "",
  });
  EXPECT_EQ(MTSDumpText(Decoded(empty), "."), expected);
}

TEST(MTSDump, ListsEachObjectsOwnPolygonsAndAllBitmaps) {
  TestMesh mesh = testing::RichMesh();
  mesh.Materials.pop_back();  // three object headers, two material objects
  const std::vector<std::string> lines = SplitLines(MTSDumpText(Decoded(mesh), "."));
  auto find = [&](const std::string& text) {
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i] == text) return i;
    ADD_FAILURE() << "missing line: " << text;
    return lines.size();
  };
  EXPECT_LT(find("     Number of Bitmaps:            3, BODY.BMP, LIGHT, DIRT.TGA"), lines.size());
  // Object 0 owns polygons 0 and 2; the count names the whole table.
  const size_t body = find("OBJECT 0 (BODY)");
  ASSERT_LT(body + 11, lines.size());
  EXPECT_EQ(lines[body + 7], "     Polygons (Count: 3) :");
  EXPECT_EQ(lines[body + 9].substr(0, 20), "       0,   1,   2 |");
  EXPECT_EQ(lines[body + 10].substr(0, 20), "       0,   2,   3 |");
  EXPECT_EQ(lines[body + 11], "");
  const size_t glass = find("OBJECT 1 (GLASS)");
  ASSERT_LT(glass + 10, lines.size());
  EXPECT_NE(lines[glass + 9].find("| Unks:          1/         2/         3/     00042 (@ "), std::string::npos);
  EXPECT_EQ(lines[glass + 10], "");
  // No material object for the third header: an empty name.
  const size_t third = find("OBJECT 2 ()");
  ASSERT_LT(third + 10, lines.size());
  EXPECT_EQ(lines[third + 9], "");
  EXPECT_EQ(lines[third + 10], "     Vertex connection list (Count: 0) : ");
}

TEST(MTSDump, NumberFormats) {
  using namespace mesh_text;
  struct Case {
    std::string got, want;
  };
  const Case cases[] = {
      {Significant8Fixed4(1234.56789), "1234.5679"},
      {Significant8Fixed4(123456.789), "123456.7900"},
      {Significant8Fixed4(99999.999951), "100000.0000"},
      {Significant8Fixed4(0.00005), "0.0001"},
      {Significant8Fixed4(-0.00004), "0.0000"},
      {Significant8Fixed4(-2.5), "-2.5000"},
      {Significant8Fixed4(0.1f), "0.1000"},
      {Significant8Fixed4(12345678.4), "12345678.0000"},
      {Significant8Fixed4(123456789.0), "1.2345679E+08"},
      {Significant8Fixed4(1e10), "1.0000000E+10"},
      {Significant8Fixed4(std::numeric_limits<double>::quiet_NaN()), "NAN"},
      {Significant8Fixed4(-std::numeric_limits<double>::infinity()), "-INF"},
      {Fixed(0.5, 18), "0.500000000000000000"},
      {Fixed(-1e-9, 5), "-0.00000"},
      {Fixed(1e20, 1), "100000000000000000000.0"},
      {FixedFinite(-1e-9, 4), "0.0000"},
      {FixedFinite(std::numeric_limits<double>::quiet_NaN(), 4), "0.0000"},
      {FixedFinite(-std::numeric_limits<double>::infinity(), 4), "0.0000"},
      {FixedFinite(-1.75, 4), "-1.7500"},
      {IntMinDigits(42, 5), "00042"},
      {IntMinDigits(-42, 5), "-00042"},
      {IntMinDigits(1234567, 5), "1234567"},
      {IntMinDigits(INT32_MIN, 5), "-2147483648"},
      {PadLeft(IntMinDigits(-42, 5), 10), "    -00042"},
      {PadRight("12345678901", 8), "12345678901"},
      {WithSeparator("-1.50/2.25", ","), "-1,50/2,25"},
      {WithSeparator("1.5", "\xD9\xAB"), "1\xD9\xAB" "5"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(WriteMTSDump, WritesBesideTheMeshOrThrows) {
  testing::TempDir dir;
  const TMTS410 mesh = Decoded(SmallMesh());
  EXPECT_EQ(MTSDumpPath(dir / "CAR.MTS"), dir / "CAR.txt");
  EXPECT_EQ(MTSDumpPath("maps.v2/CAR"), "maps.v2/CAR.txt");
  EXPECT_TRUE(WriteMTSDump(dir / "CAR.txt", mesh, "."));
  EXPECT_EQ(testing::ReadFileText(dir / "CAR.txt"), MTSDumpText(mesh, "."));
  EXPECT_THROW(WriteMTSDump(dir / "missing/CAR.txt", mesh, "."), EInOutError);
}

}  // namespace
}  // namespace kestrel
