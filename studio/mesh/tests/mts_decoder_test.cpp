#include "studio/mesh/mts_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>
#include <random>

#include "archive/testing/mas_builder.h"
#include "studio/mesh/mts_dump.h"
#include "studio/mesh/tests/sample_meshes.h"
#include "studio/mesh/vrml_writer.h"

namespace kestrel {
namespace {

using testing::Bitmap;
using testing::BuiltMesh;
using testing::Material;
using testing::MeshLayout;
using testing::MeshTable;
using testing::MeshTriangle;
using testing::MeshVertex;
using testing::RichMesh;
using testing::TestMesh;

struct Reports {
  std::vector<std::string> messages;
  MeshReport Hook() {
    return [this](const std::string& m) { messages.push_back(m); };
  }
};

bool Decode410(const std::vector<uint8_t>& bytes, TMTS410& out, Reports& reports) {
  return DecodeMTS410(bytes.data(), bytes.size(), out, reports.Hook());
}
bool DecodeOld(const std::vector<uint8_t>& bytes, TMTS& out, Reports& reports) {
  return DecodeMTS(bytes.data(), bytes.size(), out, reports.Hook());
}

// The parts both layouts decode alike.
void ExpectCubeOfRichMesh(const TMTS_Cube& cube, const BuiltMesh& built) {
  EXPECT_EQ(cube.WorldPos, (std::array<float, 3>{10, 20, 30}));
  EXPECT_EQ(cube.ObjectHeadersOffset, built.ObjectHeadersOffset);
  EXPECT_EQ(cube.PolygonsOffset, built.PolygonsOffset);
  ASSERT_EQ(cube.ObjectHeaders.size(), 3u);
  const TMTS_ObjectHeader& body = cube.ObjectHeaders[0];
  EXPECT_EQ(body.nFlags, 7);
  EXPECT_EQ(body.Unk4sOffset, 40);
  EXPECT_EQ(body.VerticesOffset, built.VerticesOffsets[0]);
  EXPECT_EQ(body.TristripOffset, built.StripOffsets[0]);
  EXPECT_EQ(body.StripIndices, (std::vector<uint16_t>{0, 1, 2, 3}));
  EXPECT_EQ(body.lUnks1[8], 9);
  ASSERT_EQ(body.Vertices.size(), 4u);
  EXPECT_EQ(body.Vertices[1].X, 1.0f);
  EXPECT_EQ(body.Vertices[2].NZ, -1.0f);
  EXPECT_EQ(body.Vertices[2].U, 1.0f);
  EXPECT_TRUE(std::isinf(body.Vertices[3].Z));  // only NaN is replaced
  EXPECT_EQ(cube.ObjectHeaders[1].StripIndices, (std::vector<uint16_t>{2, 1, 0}));
  EXPECT_EQ(cube.ObjectHeaders[1].Vertices.at(2).Y, 3.0f);
  EXPECT_TRUE(cube.ObjectHeaders[2].Vertices.empty());
  ASSERT_EQ(cube.Polygons.size(), 3u);
  EXPECT_EQ(cube.Polygons[1].M, 1);
  EXPECT_EQ(cube.Polygons[1].Unks[3], 42);
  EXPECT_EQ(cube.Polygons[2].V2, 3);
  ASSERT_EQ(cube.FaceNormals.size(), 2u);
  EXPECT_EQ(cube.FaceNormals[1].W, 0.5f);
}

TEST(DecodeMTS410, DecodesEveryTableWhereverItLies) {
  const BuiltMesh built = RichMesh().Build(MeshLayout::MTS410);
  TMTS410 mesh;
  Reports reports;
  ASSERT_TRUE(Decode410(built.Bytes, mesh, reports));
  EXPECT_TRUE(reports.messages.empty());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(mesh.Magic.data())), "CUBE_MTS_4.10");
  ASSERT_EQ(mesh.NumMatObjects, 3);
  ASSERT_EQ(mesh.MatObjects.size(), 3u);
  const TMTS410_MatObject& body = mesh.MatObjects[0];
  EXPECT_EQ(body.Name, "BODY");
  EXPECT_EQ(body.d3dMat.Diffuse.G, 0.25f);
  EXPECT_EQ(body.SourceBlend, 5);
  EXPECT_EQ(body.DestBlend, 6);
  EXPECT_EQ(body.Unk1, 2.5f);
  ASSERT_EQ(body.Bitmaps.size(), 3u);
  EXPECT_EQ(body.Bitmaps[0].NumFrames, 0);  // SwitchMode 1: no frame fields
  EXPECT_EQ(body.Bitmaps[0].FrameUnkA, 0);
  EXPECT_EQ(body.Bitmaps[0].Unks[8], 108);
  EXPECT_EQ(body.Bitmaps[1].Name, "LIGHT");
  EXPECT_EQ(body.Bitmaps[1].Frames, (std::vector<int32_t>{3, 4}));
  EXPECT_EQ(body.Bitmaps[1].FrameUnkB, 14);
  EXPECT_EQ(body.Bitmaps[1].Unks[0], 100);
  EXPECT_EQ(body.Bitmaps[2].Name, "DIRT.TGA");
  EXPECT_EQ(mesh.MatObjects[1].Bitmaps.at(0).NumFrames, 0);
  EXPECT_EQ(mesh.MatObjects[1].Bitmaps.at(0).FrameUnkA, 13);
  EXPECT_TRUE(mesh.MatObjects[2].Bitmaps.empty());
  EXPECT_EQ(mesh.CubeOffset, built.CubeOffset);
  EXPECT_EQ(mesh.TriListState(), kMtsTriListNotOptimized);
  EXPECT_EQ(mesh.Cube.ObjectHeaders[0].Vertices[2].Z, 0.0f);  // NaN Z becomes +0.0
  EXPECT_FALSE(std::signbit(mesh.Cube.ObjectHeaders[0].Vertices[2].Z));
  ExpectCubeOfRichMesh(mesh.Cube, built);
}

TEST(DecodeMTS, DecodesTheOlderLayout) {
  const BuiltMesh built = RichMesh().Build(MeshLayout::Old);
  TMTS mesh;
  Reports reports;
  ASSERT_TRUE(DecodeOld(built.Bytes, mesh, reports));
  ASSERT_EQ(mesh.MatObjects.size(), 3u);
  const TMTS_MatObject& body = mesh.MatObjects[0];
  EXPECT_EQ(body.Name, "BODY");
  EXPECT_EQ(body.Bitmaps, (std::vector<std::string>{"BODY.BMP", "LIGHT", "DIRT.TGA"}));
  ASSERT_EQ(body.SwitchTextures.size(), 1u);
  EXPECT_EQ(body.SwitchTextures[0].Name, "SWITCH");
  EXPECT_EQ(body.SwitchTextures[0].Frames, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(body.SwitchTextures[0].UnkD, 9);
  EXPECT_EQ(body.NumUnkItems, 2);
  EXPECT_EQ(body.UnkItems.at(1)[0], 32);
  EXPECT_EQ(body.d3dMat.Power, 8.0f);
  EXPECT_EQ(body.d3dMat.Diffuse.B, 0.125f);
  EXPECT_EQ(mesh.CubeOffset, built.CubeOffset);
  EXPECT_TRUE(std::isnan(mesh.Cube.ObjectHeaders[0].Vertices[2].Z));  // kept in this layout
  ExpectCubeOfRichMesh(mesh.Cube, built);
}

TEST(DecodeMTS410, CubeHeaderFollowsTheBitmapsWhateverTheirSize) {
  struct Case {
    std::vector<testing::MeshBitmap> bitmaps;
    int32_t cubeOffset;
  };
  const Case cases[] = {
      {{Bitmap("A", 1)}, 20 + 112 + 80},
      {{Bitmap("A", 0)}, 20 + 112 + 80},
      {{Bitmap("A", -3)}, 20 + 112 + 80},
      {{Bitmap("A", 2, {1, 2, 3})}, 20 + 112 + 104},
      {{Bitmap("A", 2, {})}, 20 + 112 + 92},
      {{Bitmap("A", 7, {5}), Bitmap("B", 1)}, 20 + 112 + 96 + 80},
  };
  for (const Case& c : cases) {
    TestMesh m;
    m.Materials = {Material("M", c.bitmaps)};
    m.Objects.resize(1);
    m.Objects[0].Vertices = {MeshVertex(1, 2, 3)};
    TMTS410 mesh;
    Reports reports;
    ASSERT_TRUE(Decode410(m.Bytes(MeshLayout::MTS410), mesh, reports)) << c.cubeOffset;
    EXPECT_EQ(mesh.CubeOffset, c.cubeOffset);
    EXPECT_EQ(mesh.Cube.ObjectHeaders.at(0).Vertices.at(0).Z, 3.0f);
  }
}

TEST(DecodeMTS, EmptyMeshesHaveTheirCubeHeaderRightAfterTheCount) {
  TestMesh empty;
  TMTS410 m410;
  TMTS old;
  Reports reports;
  ASSERT_TRUE(Decode410(empty.Bytes(MeshLayout::MTS410), m410, reports));
  ASSERT_TRUE(DecodeOld(empty.Bytes(MeshLayout::Old), old, reports));
  EXPECT_EQ(m410.CubeOffset, 20);
  EXPECT_EQ(old.CubeOffset, 4);
  EXPECT_TRUE(reports.messages.empty());
}

TEST(DecodeMTS, StoredOffsetsCountFromTheCubeHeader) {
  TestMesh one = RichMesh();
  TestMesh two = RichMesh();
  two.Materials.push_back(Material("EXTRA", {Bitmap("X.BMP")}));
  const BuiltMesh a = one.Build(MeshLayout::MTS410), b = two.Build(MeshLayout::MTS410);
  EXPECT_GT(b.CubeOffset, a.CubeOffset);
  EXPECT_EQ(a.PolygonsOffset, b.PolygonsOffset);
  TMTS410 ma, mb;
  Reports reports;
  ASSERT_TRUE(Decode410(a.Bytes, ma, reports));
  ASSERT_TRUE(Decode410(b.Bytes, mb, reports));
  EXPECT_EQ(ma.Cube.Polygons[2].V2, mb.Cube.Polygons[2].V2);
  EXPECT_EQ(ma.Cube.ObjectHeaders[1].Vertices[2].Y, mb.Cube.ObjectHeaders[1].Vertices[2].Y);
}

TEST(IsMTS410, ComparesAllSixteenBytes) {
  auto bytes = [](const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); };
  std::vector<uint8_t> good = TestMesh().Bytes(MeshLayout::MTS410);
  EXPECT_TRUE(IsMTS410(good.data(), good.size()));
  std::vector<uint8_t> tail = good;
  tail[14] = 'X';  // "CUBE_MTS_4.10" followed by something else
  EXPECT_FALSE(IsMTS410(tail.data(), tail.size()));
  const std::vector<uint8_t> shortMagic = bytes(std::string("CUBE_MTS_4.10\0\0", 15));
  EXPECT_FALSE(IsMTS410(shortMagic.data(), shortMagic.size()));
  EXPECT_FALSE(IsMTS410(nullptr, 0));

  // The 4.10 decoder turns such data away silently.
  TMTS410 mesh;
  Reports reports;
  EXPECT_FALSE(Decode410(tail, mesh, reports));
  EXPECT_FALSE(Decode410(TestMesh().Bytes(MeshLayout::Old), mesh, reports));
  EXPECT_TRUE(reports.messages.empty());
}

// Meshes that lie about their contents, each refused with one message.
struct Corruption {
  const char* name;
  void (*apply)(TestMesh&);
};

const Corruption kCorruptions[] = {
    {"negative material count", [](TestMesh& m) { m.NumMatObjects = -1; }},
    {"material count near the int32 limit", [](TestMesh& m) { m.NumMatObjects = INT32_MAX; }},
    {"negative bitmap count", [](TestMesh& m) { m.Materials[0].NumBitmaps = -2; }},
    {"bitmap count near the limit", [](TestMesh& m) { m.Materials[0].NumBitmaps = INT32_MAX - 1; }},
    {"negative object header count", [](TestMesh& m) { m.NumObjectHeaders = -1; }},
    {"object headers near the limit", [](TestMesh& m) { m.NumObjectHeaders = INT32_MAX; }},
    {"object headers past the end", [](TestMesh& m) { m.ObjectHeadersOffset = 1 << 20; }},
    {"object headers before the data", [](TestMesh& m) { m.ObjectHeadersOffset = INT32_MIN; }},
    {"negative vertex count", [](TestMesh& m) { m.Objects[0].NumVertices = -4; }},
    {"vertex count near the limit", [](TestMesh& m) { m.Objects[0].NumVertices = INT32_MAX; }},
    {"vertices past the end", [](TestMesh& m) { m.Objects[1].VerticesOffset = INT32_MAX; }},
    {"polygon count near the limit", [](TestMesh& m) { m.NumPolygons = INT32_MAX; }},
    {"polygons past the end", [](TestMesh& m) { m.PolygonsOffset = 100000; }},
    {"polygons one byte short", [](TestMesh& m) { m.PolygonsOffset = m.Build(MeshLayout::MTS410).PolygonsOffset + 1; }},
    {"negative face normal count", [](TestMesh& m) { m.NumFaceNormals = -1; }},
    {"face normals before the data", [](TestMesh& m) { m.FaceNormalsOffset = INT32_MIN + 5; }},
};

TEST(DecodeMTS, RefusesMeshesThatLie) {
  for (const Corruption& c : kCorruptions) {
    TestMesh mesh = RichMesh();
    mesh.Order = {MeshTable::ObjectHeaders, MeshTable::Vertices, MeshTable::StripIndices, MeshTable::FaceNormals,
                  MeshTable::Polygons};  // polygons last, so that one byte later runs past the end
    c.apply(mesh);
    {
      TMTS410 out;
      Reports reports;
      EXPECT_FALSE(Decode410(mesh.Bytes(MeshLayout::MTS410), out, reports)) << c.name;
      ASSERT_EQ(reports.messages.size(), 1u) << c.name;
      EXPECT_EQ(reports.messages[0].rfind("MTS 4.10 decoder error : ", 0), 0u) << reports.messages[0];
      EXPECT_GT(reports.messages[0].size(), std::string("MTS 4.10 decoder error : ").size());
    }
    {
      TMTS out;
      Reports reports;
      EXPECT_FALSE(DecodeOld(mesh.Bytes(MeshLayout::Old), out, reports)) << c.name;
      ASSERT_EQ(reports.messages.size(), 1u) << c.name;
      EXPECT_EQ(reports.messages[0].find("MTS 4.10"), std::string::npos) << reports.messages[0];
      EXPECT_FALSE(reports.messages[0].empty());
    }
  }
}

TEST(DecodeMTS, RefusesNegativeFrameCounts) {
  TestMesh mesh;
  mesh.Materials = {Material("M", {Bitmap("A", 2, {1})})};
  mesh.Materials[0].Bitmaps[0].NumFrames = -1;
  TMTS410 out;
  Reports reports;
  EXPECT_FALSE(Decode410(mesh.Bytes(MeshLayout::MTS410), out, reports));
  ASSERT_EQ(reports.messages.size(), 1u);
  EXPECT_NE(reports.messages[0].find("negative"), std::string::npos) << reports.messages[0];
}

TEST(DecodeMTS, EveryTruncatedPrefixFailsCleanly) {
  for (MeshLayout layout : {MeshLayout::MTS410, MeshLayout::Old}) {
    const std::vector<uint8_t> whole = RichMesh().Bytes(layout);
    for (size_t n = 0; n < whole.size(); ++n) {
      // A copy of exactly n bytes, so that the sanitizers see any read past it.
      const std::vector<uint8_t> prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
      Reports reports;
      bool ok;
      if (layout == MeshLayout::MTS410) {
        TMTS410 out;
        ok = Decode410(prefix, out, reports);
        // Shorter than the magic: not this layout at all, so nothing is said.
        EXPECT_EQ(reports.messages.size(), n < 16 ? 0u : 1u) << n;
      } else {
        TMTS out;
        ok = DecodeOld(prefix, out, reports);
        EXPECT_EQ(reports.messages.size(), 1u) << n;
      }
      EXPECT_FALSE(ok) << n;
    }
  }
}

TEST(DecodeMTS, SharedVertexListsDecodeButEndlessSharingIsRefused) {
  TestMesh shared;
  shared.Objects.resize(2);
  shared.Objects[0].Vertices = {MeshVertex(1, 2, 3), MeshVertex(4, 5, 6)};
  const BuiltMesh layout = shared.Build(MeshLayout::MTS410);
  shared.Objects[1].NumVertices = 2;
  shared.Objects[1].VerticesOffset = layout.VerticesOffsets[0];
  TMTS410 out;
  Reports reports;
  ASSERT_TRUE(Decode410(shared.Bytes(MeshLayout::MTS410), out, reports));
  EXPECT_EQ(out.Cube.ObjectHeaders[1].Vertices.at(1).Y, 5.0f);

  // 3,000 headers over one list of 20,000 vertices: about 3 GB of lists from a 1 MB file.
  TestMesh bomb;
  bomb.Objects.resize(3000);
  bomb.Objects[0].Vertices.resize(20000);
  const BuiltMesh bombLayout = bomb.Build(MeshLayout::MTS410);
  for (auto& o : bomb.Objects) {
    o.NumVertices = 20000;
    o.VerticesOffset = bombLayout.VerticesOffsets[0];
  }
  reports.messages.clear();
  EXPECT_FALSE(Decode410(bomb.Bytes(MeshLayout::MTS410), out, reports));
  ASSERT_EQ(reports.messages.size(), 1u);
  EXPECT_NE(reports.messages[0].find("overlap"), std::string::npos) << reports.messages[0];
}

// Damaged meshes: random int32 fields overwritten with edge values. Whatever decodes must also be
// safe to dump and export, since those consumers trust only the decoded lists.
TEST(DecodeMTS, DamagedMeshesDecodeOrFailAndConsumersStayInside) {
  std::mt19937 random(2002);
  const int32_t values[] = {0, 1, -1, 2, 3, 255, 65535, 65536, INT32_MAX, INT32_MIN, 1 << 20};
  for (MeshLayout layout : {MeshLayout::MTS410, MeshLayout::Old}) {
    const std::vector<uint8_t> whole = RichMesh().Bytes(layout);
    for (int round = 0; round < 1500; ++round) {
      std::vector<uint8_t> bytes = whole;
      for (int k = 0; k < 1 + round % 3; ++k) {
        const size_t at = (16 + random() % (bytes.size() - 16)) & ~size_t{3};
        const int32_t v = values[random() % std::size(values)];
        for (int b = 0; b < 4 && at + b < bytes.size(); ++b) bytes[at + b] = static_cast<uint8_t>(v >> (8 * b));
      }
      Reports reports;
      if (layout == MeshLayout::MTS410) {
        TMTS410 out;
        if (Decode410(bytes, out, reports)) {
          EXPECT_FALSE(MTSDumpText(out, ".").empty());
          EXPECT_FALSE(MeshVRMLBlock("X", out).empty());
        }
      } else {
        TMTS out;
        if (DecodeOld(bytes, out, reports)) {
          EXPECT_FALSE(MeshVRMLBlock("X", out).empty());
        }
      }
      EXPECT_LE(reports.messages.size(), 1u);
    }
  }
}

TEST(LoadMTS410File, ReadsTheFileOrReportsWhyNot) {
  testing::TempDir dir;
  testing::WriteFileBytes(dir / "CAR.MTS", RichMesh().Bytes(MeshLayout::MTS410));
  TMTS410 mesh;
  Reports reports;
  EXPECT_TRUE(LoadMTS410File(dir / "CAR.MTS", mesh, reports.Hook()));
  EXPECT_EQ(mesh.MatObjects.size(), 3u);
  EXPECT_FALSE(LoadMTS410File(dir / "MISSING.MTS", mesh, reports.Hook()));
  ASSERT_EQ(reports.messages.size(), 1u);
  EXPECT_NE(reports.messages[0].find("MISSING.MTS"), std::string::npos) << reports.messages[0];
}

}  // namespace
}  // namespace kestrel
