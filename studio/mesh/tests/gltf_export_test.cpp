// The glTF export read back as a glTF reader reads it: buffers, materials, pictures, files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

#include "archive/archive_reader.h"
#include "archive/file_io.h"
#include "archive/testing/mas_builder.h"
#include "studio/mesh/tests/comma_locale.h"
#include "studio/mesh/tests/sample_meshes.h"
#include "studio/image/testing/image_writers.h"
#include "studio/image/png_writer.h"
#include "studio/mesh/gltf_export.h"
#include "studio/mesh/gltf_writer.h"
#include "studio/mesh/json_writer.h"
#include "studio/mesh/testing/gltf_reader.h"

namespace kestrel {
namespace {

using testing::GltfRead;
using testing::MeshLayout;
using testing::MeshTriangle;
using testing::MeshVertex;
using testing::TempDir;
using testing::TestMesh;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

testing::TestPicture BodyPicture() {
  return testing::DrawPicture(4, 2, [](int x, int y) { return 0xFF000000u | (x * 60u << 16) | (y * 200u << 8) | 7u; });
}
testing::TestPicture GlassPicture() {
  return testing::DrawPicture(2, 3, [](int x, int y) { return (x ? 0x80000000u : 0xFF000000u) | (y * 100u) << 8; });
}

// Four materials over four objects, their triangles interleaved in one table:
//  j0 BODY (0 1 2)  j1 GLASS (0 1 2)  j2 BODY (0 2 3)  j3 object 9 (none)  j4 GLASS (0 1 7: past its
//  vertices)  j5 PLAIN (2 1 0); EMPTY has vertices and a texture but no triangle.
TestMesh SampleMesh() {
  TestMesh m;
  m.Materials = {testing::Material("BODY", {testing::Bitmap("BODY.BMP")}),
                 testing::Material("GLASS", {testing::Bitmap("GLASS.TGA")}), testing::Material("PLAIN", {}),
                 testing::Material("EMPTY", {testing::Bitmap("MISSING.BMP")})};
  m.Objects.resize(4);
  m.Objects[0].Vertices = {MeshVertex(0, 0, 0.5f, 0, 0, -1, 0, 0), MeshVertex(1, 0, 0.5f, 0, 0, 0, 1, 0),
                           MeshVertex(1, 1, 0.5f, kNaN, 3, 4, 1, 1), MeshVertex(kInf, 1, kNaN, 0, 2, 0, 0.25f, 0.75f)};
  m.Objects[1].Vertices = {MeshVertex(0, 2, 0, 0, 0, -1), MeshVertex(1, 2, 0, 0, 0, -1), MeshVertex(0, 3, 0, 0, 0, -1)};
  m.Objects[2].Vertices = {MeshVertex(0, 0, 1), MeshVertex(1, 0, 1), MeshVertex(0, 1, 1)};
  m.Objects[3].Vertices = {MeshVertex(5, 5, 5)};
  m.Polygons = {MeshTriangle(0, 1, 2, 0), MeshTriangle(0, 1, 2, 1), MeshTriangle(0, 2, 3, 0),
                MeshTriangle(0, 5, 1, 9),  MeshTriangle(0, 1, 7, 1), MeshTriangle(2, 1, 0, 2)};
  m.WorldPos = {10, 20, 30};
  return m;
}

AnyMesh DecodedAny(const std::vector<uint8_t>& bytes) {
  AnyMesh mesh;
  EXPECT_TRUE(DecodeAnyMesh(bytes.data(), bytes.size(), mesh, [](const std::string& m) { ADD_FAILURE() << m; }));
  return mesh;
}

struct Exported {
  GltfRead read;
  std::vector<std::string> warnings;
};

// Writes `mesh` as `file` in `dir`, with textures from `dir`, and reads it back.
Exported Export(const TempDir& dir, const std::string& file, const AnyMesh& mesh) {
  Exported e;
  ExportMeshGltf(dir / file, "CAR", mesh, TexturesBesideOrInside(dir.Path()),
                 [&](const std::string& line) { e.warnings.push_back(line); });
  e.read = testing::ReadGltfAny(dir / file);
  return e;
}

void WriteTextures(const TempDir& dir) {
  testing::WriteFileBytes(dir / "BODY.BMP", testing::BmpBytes(BodyPicture(), {}));
  testing::TgaLayout tga;
  tga.Bits = 32;
  testing::WriteFileBytes(dir / "GLASS.TGA", testing::TgaBytes(GlassPicture(), tga));
}

std::vector<float> Flat(std::initializer_list<std::initializer_list<float>> rows) {
  std::vector<float> out;
  for (const auto& r : rows) out.insert(out.end(), r);
  return out;
}

class GltfLayouts : public ::testing::TestWithParam<MeshLayout> {};

TEST_P(GltfLayouts, BuffersHoldTheMeshAsThePreviewDrawsIt) {
  const bool old = GetParam() == MeshLayout::Old;
  TempDir dir;
  WriteTextures(dir);
  const Exported e = Export(dir, "car.glb", DecodedAny(SampleMesh().Bytes(GetParam())));
  const testing::Json& doc = e.read.Doc;

  EXPECT_EQ(doc["asset"]["version"].String(), "2.0");
  EXPECT_EQ(doc["nodes"][0]["name"].String(), "CAR");
  ASSERT_EQ(doc["meshes"].Size(), 1u);
  const testing::Json& primitives = doc["meshes"][0]["primitives"];
  ASSERT_EQ(primitives.Size(), 3u) << "EMPTY has no triangle, so no primitive";

  struct Expected {
    const char* material;
    std::vector<float> positions, normals, uvs;
    std::vector<uint32_t> indices;
  };
  // Moved by (10, 20, 30), Z reversed; normals unit length with Z reversed; V as stored.
  const Expected expected[] = {
      {"BODY",
       Flat({{10, 20, -30.5f}, {11, 20, -30.5f}, {11, 21, -30.5f}, {0, 21, old ? 0.0f : -30.0f}}),
       // A zero normal takes its face's direction; NaN counts as 0 before scaling.
       Flat({{0, 0, 1}, {0, 0, 1}, {0, 0.6f, -0.8f}, {0, 1, 0}}),
       Flat({{0, 0}, {1, 0}, {1, 1}, {0.25f, 0.75f}}),
       {0, 1, 2, 0, 2, 3}},
      {"GLASS", Flat({{10, 22, -30}, {11, 22, -30}, {10, 23, -30}}), Flat({{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}),
       Flat({{0, 0}, {0, 0}, {0, 0}}),
       old ? std::vector<uint32_t>{2, 1, 0} : std::vector<uint32_t>{0, 1, 2}},  // table position 1
      {"PLAIN", Flat({{10, 20, -31}, {11, 20, -31}, {10, 21, -31}}), Flat({{0, 1, 0}, {0, 1, 0}, {0, 1, 0}}),
       Flat({{0, 0}, {0, 0}, {0, 0}}),
       old ? std::vector<uint32_t>{0, 1, 2} : std::vector<uint32_t>{2, 1, 0}},  // table position 5
  };
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(expected[i].material);
    const testing::Json& p = primitives[i];
    EXPECT_EQ(doc["materials"][p["material"].Index()]["name"].String(), expected[i].material);
    const testing::Json& a = p["attributes"];
    EXPECT_EQ(e.read.Floats(a["POSITION"].Index()), expected[i].positions);
    const std::vector<float> normals = e.read.Floats(a["NORMAL"].Index());
    ASSERT_EQ(normals.size(), expected[i].normals.size());
    for (size_t k = 0; k < normals.size(); ++k) EXPECT_NEAR(normals[k], expected[i].normals[k], 1e-6) << k;
    EXPECT_EQ(e.read.Floats(a["TEXCOORD_0"].Index()), expected[i].uvs);
    EXPECT_EQ(e.read.Indices(p["indices"].Index()), expected[i].indices);
  }
  // The position accessor's bounds are the exact extremes.
  const testing::Json& bodyPositions = doc["accessors"][primitives[0]["attributes"]["POSITION"].Index()];
  EXPECT_EQ(bodyPositions["min"][0].Number(), 0);
  EXPECT_EQ(bodyPositions["max"][1].Number(), 21);

  ASSERT_EQ(e.warnings.size(), 1u);
  EXPECT_EQ(e.warnings[0], "2 triangles left out: they name no material object with vertices, or a corner past its vertices");
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, GltfLayouts, ::testing::Values(MeshLayout::MTS410, MeshLayout::Old),
                         [](const auto& info) { return info.param == MeshLayout::Old ? "Old" : "MTS410"; });

// Follows material -> texture -> image and decodes the PNG.
testing::Rgba MaterialPicture(const GltfRead& read, const std::string& material) {
  const testing::Json& materials = read.Doc["materials"];
  for (size_t i = 0; i < materials.Size(); ++i) {
    if (materials[i]["name"].String() != material) continue;
    const size_t texture = materials[i]["pbrMetallicRoughness"]["baseColorTexture"]["index"].Index();
    return testing::DecodePngForTest(read.ImageBytes(read.Doc["textures"][texture]["source"].Index()));
  }
  ADD_FAILURE() << "no material " << material;
  return {};
}

TEST(GltfExport, MaterialsCarryTheirTexturesAsPngOrArePlainWhite) {
  TempDir dir;
  WriteTextures(dir);
  const Exported e = Export(dir, "car.glb", DecodedAny(SampleMesh().Bytes(MeshLayout::MTS410)));
  const testing::Json& materials = e.read.Doc["materials"];
  ASSERT_EQ(materials.Size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const testing::Json& pbr = materials[i]["pbrMetallicRoughness"];
    EXPECT_EQ(pbr["metallicFactor"].Number(), 0);
    EXPECT_EQ(pbr["roughnessFactor"].Number(), 1);
  }
  const testing::Json& plain = materials[2]["pbrMetallicRoughness"];
  EXPECT_FALSE(plain.Has("baseColorTexture"));
  for (size_t k = 0; k < 4; ++k) EXPECT_EQ(plain["baseColorFactor"][k].Number(), 1);
  EXPECT_EQ(e.read.Doc["images"][0]["mimeType"].String(), "image/png");

  const testing::Rgba body = MaterialPicture(e.read, "BODY");
  EXPECT_EQ(body.Width, 4u);
  EXPECT_EQ(body.Pixels, testing::RgbaBytes(BodyPicture(), false));
  const testing::Rgba glass = MaterialPicture(e.read, "GLASS");
  EXPECT_EQ(glass.Pixels, testing::RgbaBytes(GlassPicture(), true)) << "alpha kept";
}

TEST(GltfExport, TextureThatCannotBeFoundOrDecodedLeavesItsMaterialsWhiteWithOneWarning) {
  TempDir dir;
  const std::string textures = dir / "textures";
  ASSERT_TRUE(CreateDirectoryOneLevel(textures));
  testing::WriteFileBytes(textures + "/BROKEN.BMP", testing::BytesOf("BM but nothing else"));
  testing::WriteFileBytes(textures + "/NOTES.TXT", testing::BytesOf("text"));
  testing::WriteFileBytes(textures + "/tyre.bmp", testing::BmpBytes(BodyPicture(), {}));  // other letter case
  testing::WriteFileBytes(dir / "BODY.BMP", testing::BmpBytes(BodyPicture(), {}));  // outside: not followed
  TestMesh m;
  for (const char* texture : {"NOWHERE.BMP", "BROKEN.BMP", "NOTES.TXT", "NOWHERE.BMP", "TYRE.BMP", "../BODY.BMP"})
    m.Materials.push_back(testing::Material(std::string("M_") + texture, {testing::Bitmap(texture)}));
  m.Objects.resize(m.Materials.size());
  for (size_t i = 0; i < m.Materials.size(); ++i) {
    m.Objects[i].Vertices = {MeshVertex(0, 0, 0), MeshVertex(1, 0, 0), MeshVertex(0, 1, 0)};
    m.Polygons.push_back(MeshTriangle(0, 1, 2, static_cast<int32_t>(i)));
  }
  std::vector<std::string> warnings;
  ExportMeshGltf(dir / "out.glb", "OUT", DecodedAny(m.Bytes(MeshLayout::MTS410)), TexturesBesideOrInside(textures),
                 [&](const std::string& line) { warnings.push_back(line); });
  const GltfRead read = testing::ReadGltfAny(dir / "out.glb");

  ASSERT_EQ(warnings.size(), 4u);
  EXPECT_EQ(warnings[0], "texture NOWHERE.BMP not found; materials M_NOWHERE.BMP, M_NOWHERE.BMP stay white");
  EXPECT_EQ(warnings[1].rfind("texture BROKEN.BMP cannot be decoded (", 0), 0u) << warnings[1];
  EXPECT_NE(warnings[1].find("); material M_BROKEN.BMP stays white"), std::string::npos) << warnings[1];
  EXPECT_EQ(warnings[2], "texture NOTES.TXT is not a BMP, TGA or JPG file; material M_NOTES.TXT stays white");
  EXPECT_EQ(warnings[3], "texture ../BODY.BMP not found; material M_../BODY.BMP stays white");
  const testing::Json& materials = read.Doc["materials"];
  for (size_t i = 0; i < materials.Size(); ++i)
    EXPECT_EQ(materials[i]["pbrMetallicRoughness"].Has("baseColorTexture"), i == 4) << i;
  EXPECT_EQ(read.Doc["images"].Size(), 1u);
}

TEST(GltfExport, TextFormKeepsTheSameDataInFilesBesideIt) {
  TempDir dir;
  WriteTextures(dir);
  const AnyMesh mesh = DecodedAny(SampleMesh().Bytes(MeshLayout::MTS410));
  const Exported glb = Export(dir, "car.glb", mesh);
  const Exported text = Export(dir, "my car.gltf", mesh);

  EXPECT_EQ(text.read.Doc["buffers"][0]["uri"].String(), "my%20car.bin");
  EXPECT_EQ(text.read.Doc["images"][0]["uri"].String(), "my%20car_BODY.png");
  for (const char* name : {"my car.bin", "my car_BODY.png", "my car_GLASS.png"})
    EXPECT_TRUE(FileExists(dir / name)) << name;
  // The same geometry: the .glb's buffer holds it first, then the pictures.
  ASSERT_LE(text.read.Buffer.size(), glb.read.Buffer.size());
  EXPECT_TRUE(std::equal(text.read.Buffer.begin(), text.read.Buffer.end(), glb.read.Buffer.begin()));
  EXPECT_EQ(text.read.Doc["accessors"].Size(), glb.read.Doc["accessors"].Size());
  for (size_t i = 0; i < 2; ++i) EXPECT_EQ(text.read.ImageBytes(i), glb.read.ImageBytes(i));
}

// The text form's pictures are files named after their textures: texture names that differ only by
// letter case must not share a file where the folder ignores case, and a name that climbs out of
// its folder must not place a file outside the export's own.
TEST(GltfExport, TextFormPicturesStayBesideItUnderNamesOfTheirOwn) {
  TempDir dir;
  const std::vector<std::string> textures = {"BODY.BMP", "body.bmp", "Body.Tga", "../X.BMP", "..", "SUB/../../X.BMP"};
  GltfContent content;
  content.Name = "CAR";
  for (size_t i = 0; i < textures.size(); ++i) {
    GltfPrimitive p;
    p.MaterialObject = i;
    p.MaterialName = "M" + std::to_string(i);
    p.TextureName = textures[i];
    p.Positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    p.Normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    p.TexCoords = {{0, 0}, {1, 0}, {0, 1}};
    p.Indices = {0, 1, 2};
    content.Geometry.Primitives.push_back(p);
    const uint32_t shade = static_cast<uint32_t>(i) * 40;
    content.TexturePngs[textures[i]] = EncodePng(
        {1, 1, false, testing::RgbaBytes(testing::DrawPicture(1, 1, [&](int, int) { return 0xFF000000u | shade; }), false)});
  }
  ASSERT_TRUE(CreateDirectoryOneLevel(dir / "out"));
  const std::vector<GltfFile> files = LayOutGltf(content, dir / "out/CAR.gltf", GltfForm::Text);
  std::set<std::string> lowerCaseNames;
  for (const GltfFile& f : files) {
    EXPECT_EQ(DirectoryOf(f.Path), dir / "out") << f.Path;
    std::string lower = FileNameOf(f.Path);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_TRUE(lowerCaseNames.insert(lower).second) << f.Path << " shares its name with another file";
  }
  EXPECT_EQ(files.size(), textures.size() + 2);  // the pictures, the buffer and the document
  WriteGltfFiles(files);
  EXPECT_EQ(testing::NamesIn(dir.Path()), (std::set<std::string>{"out"}));

  // Each primitive's material shows the picture of its own texture.
  const GltfRead read = testing::ReadGltfAny(dir / "out/CAR.gltf");
  const testing::Json& primitives = read.Doc["meshes"][0]["primitives"];
  ASSERT_EQ(primitives.Size(), textures.size());
  for (size_t i = 0; i < textures.size(); ++i) {
    const testing::Json& material = read.Doc["materials"][static_cast<size_t>(primitives[i]["material"].Number())];
    const size_t texture = static_cast<size_t>(material["pbrMetallicRoughness"]["baseColorTexture"]["index"].Number());
    const size_t image = static_cast<size_t>(read.Doc["textures"][texture]["source"].Number());
    EXPECT_EQ(read.ImageBytes(image), content.TexturePngs.at(textures[i])) << textures[i];
  }
}

TEST(GltfExport, SameMeshGivesSameBytesWhateverTheLocale) {
  TempDir dir;
  WriteTextures(dir);
  const AnyMesh mesh = DecodedAny(SampleMesh().Bytes(MeshLayout::Old));
  // Each run writes the same names into a folder of its own.
  const auto exportInto = [&](const std::string& folder) {
    EXPECT_TRUE(CreateDirectoryOneLevel(dir / folder));
    for (const char* name : {"car.gltf", "car.glb"})
      ExportMeshGltf(dir / folder + "/" + name, "CAR", mesh, TexturesBesideOrInside(dir.Path()), {});
  };
  exportInto("first");
  {
    testing::CommaLocale comma;
    exportInto("second");
  }
  for (const char* name : {"car.gltf", "car.bin", "car_BODY.png", "car_GLASS.png", "car.glb"})
    EXPECT_EQ(testing::ReadFileBytes(dir / "second/" + name), testing::ReadFileBytes(dir / "first/" + name)) << name;
  EXPECT_NE(testing::ReadFileText(dir / "first/car.gltf").find("-30.5"), std::string::npos);
}

TEST(GltfExport, IndicesReachingTheShortRestartValueAreWrittenAs32Bit) {
  TempDir dir;
  TestMesh m;
  m.Materials = {testing::Material("BIG", {})};
  m.Objects.resize(1);
  m.Objects[0].Vertices.resize(65536, MeshVertex(0, 0, 0));
  m.Objects[0].Vertices[65535] = MeshVertex(1, 1, 0);
  m.Polygons = {MeshTriangle(65535, 0, 1, 0)};
  const Exported e = Export(dir, "big.glb", DecodedAny(m.Bytes(MeshLayout::MTS410)));
  const size_t indices = e.read.Doc["meshes"][0]["primitives"][0]["indices"].Index();
  EXPECT_EQ(e.read.Doc["accessors"][indices]["componentType"].Number(), 5125);
  EXPECT_EQ(e.read.Indices(indices), (std::vector<uint32_t>{65535, 0, 1}));
}

TEST(GltfExport, MeshWithoutTrianglesGivesAnEmptyScene) {
  TempDir dir;
  TestMesh m;
  m.Materials = {testing::Material("LONELY", {testing::Bitmap("NOWHERE.BMP")})};
  m.Objects.resize(1);
  const Exported e = Export(dir, "empty.glb", DecodedAny(m.Bytes(MeshLayout::Old)));
  EXPECT_TRUE(e.warnings.empty()) << "a material that draws nothing needs no texture";
  EXPECT_FALSE(e.read.Doc.Has("meshes"));
  EXPECT_FALSE(e.read.Doc.Has("buffers"));
  EXPECT_FALSE(e.read.Doc["nodes"][0].Has("mesh"));
}

TEST(GltfExport, OutputNameMustSayWhichForm) {
  TempDir dir;
  const AnyMesh mesh = DecodedAny(SampleMesh().Bytes(MeshLayout::MTS410));
  EXPECT_THROW(ExportMeshGltf(dir / "car.obj", "CAR", mesh, {}, {}), std::invalid_argument);
  EXPECT_EQ(GltfFormOfPath("/x/CAR.GLB"), GltfForm::Binary);
  EXPECT_EQ(GltfFormOfPath("car.GlTf"), GltfForm::Text);
  EXPECT_EQ(GltfFormOfPath("/x.glb/car"), std::nullopt);
  EXPECT_EQ(GltfFormOfPath(".glb"), std::nullopt);
}

TEST(MaterialTextureName, FirstBitmapWithItsFirstFrame) {
  const TMTS410 mesh = testing::Decoded(SampleMesh());
  TMTS410_MatObject m = mesh.MatObjects[0];
  struct Case {
    std::string name;
    std::vector<int32_t> frames;
    std::string expected;
  } cases[] = {{"BODY.BMP", {}, "BODY.BMP"},
               {"LIGHT", {3, 4}, "LIGHT03.BMP"},
               {"LIGHT", {123}, "LIGHT123.BMP"},
               {"LIGHT", {-3}, "LIGHT-03.BMP"}};  // two digits after the sign
  for (const Case& c : cases) {
    m.Bitmaps.front().Name = c.name;
    m.Bitmaps.front().Frames = c.frames;
    m.Bitmaps.front().NumFrames = static_cast<int32_t>(c.frames.size());
    EXPECT_EQ(MaterialTextureName(m), c.expected);
  }
  m.Bitmaps.clear();
  EXPECT_EQ(MaterialTextureName(m), "");
  const TMTS old = testing::Decoded<TMTS>(SampleMesh());
  EXPECT_EQ(MaterialTextureName(old.MatObjects[1]), "GLASS.TGA");
}

TEST(JsonWriter, NumbersAndStringsReadBackExactly) {
  const std::pair<double, const char*> numbers[] = {
      {0.5, "0.5"}, {-3, "-3"}, {1e30, "1e+30"}, {-0.0, "0"}, {std::nan(""), "0"}, {-HUGE_VAL, "0"},
      {static_cast<double>(0.1f), "0.10000000149011612"}, {4294967296.0, "4294967296"}};
  for (const auto& [value, text] : numbers) EXPECT_EQ(JsonNumber(value), text) << value;

  EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\"");
  EXPECT_EQ(JsonString("caf\xE9"), "\"caf\xC3\xA9\"") << "Latin-1 becomes UTF-8";
  EXPECT_EQ(JsonString("caf\xC3\xA9"), "\"caf\xC3\xA9\"") << "UTF-8 stays";
  EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"\xC3\xAD\xC2\xA0\xC2\x80\"") << "a surrogate is not UTF-8";

  JsonWriter pretty(2);
  pretty.BeginObject().Key("a").BeginArray().Integer(1).BeginObject().EndObject().EndArray().Member("b", "x").EndObject();
  EXPECT_EQ(pretty.Text(), "{\n  \"a\": [\n    1,\n    {}\n  ],\n  \"b\": \"x\"\n}");
  JsonWriter compact;
  compact.BeginArray().Number(1.5).Bool(true).String("").EndArray();
  EXPECT_EQ(compact.Text(), "[1.5,true,\"\"]");
}

}  // namespace
}  // namespace kestrel
