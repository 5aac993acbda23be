// kestrel-cli's glTF export, run as a modder's script runs it, and its files opened by the
// Khronos glTF validator and by assimp.
#include <gtest/gtest.h>

#include <regex>

#include "archive/archive_reader.h"
#include "archive/file_io.h"
#include "archive/mas_format.h"
#include "archive/testing/mas_builder.h"
#include "cli_runner.h"
#include "studio/image/image_decoder.h"
#include "studio/mesh/mts_decoder.h"
#include "studio/mesh/testing/demo_car.h"
#include "studio/mesh/testing/gltf_reader.h"
#include "studio/mesh/testing/image_files.h"
#include "studio/mesh/testing/mts_builder.h"

namespace kestrel {
namespace {

using testing::CliRun;
using testing::MeshLayout;
using testing::TempDir;
using testing::TestArchive;
using testing::TestEntry;

CliRun Cli(const TempDir& dir, const std::vector<std::string>& args) { return testing::RunCli(dir, args); }

// The demo car and its textures as loose files in `folder` (created).
void WriteDemoCar(const TempDir& dir, const std::string& folder) {
  ASSERT_TRUE(CreateDirectoryOneLevel(dir / folder));
  for (const testing::DemoFile& f : testing::DemoCarFiles()) testing::WriteFileBytes(dir / folder + "/" + f.Name, f.Bytes);
}

TestArchive DemoArchive() {
  TestArchive a;
  for (const testing::DemoFile& f : testing::DemoCarFiles()) {
    const std::optional<ImageKind> kind = ImageKindOfName(f.Name);
    a.Entries.push_back(TestEntry(f.Name, f.Bytes, !kind ? kMasTypeMTS : *kind == ImageKind::Targa ? kMasTypeTGA : kMasTypeBMP));
  }
  return a;
}

TMTS410 DemoCar() {
  const std::vector<uint8_t> bytes = testing::BuildDemoCarMesh();
  TMTS410 car;
  EXPECT_TRUE(DecodeMTS410(bytes.data(), bytes.size(), car, {}));
  return car;
}

// The demo car as a mesh of the older layout stores it: odd table positions with their corners
// the other way round, which the older layout's readers turn back.
std::vector<uint8_t> DemoCarInOldLayout() {
  const TMTS410 car = DemoCar();
  testing::TestMesh m;
  for (const TMTS410_MatObject& mat : car.MatObjects) {
    testing::MeshMaterial material;
    material.Name = mat.Name;
    for (const TMTS410_Bitmap& b : mat.Bitmaps) {
      testing::MeshBitmap bitmap;
      bitmap.Name = b.Name;
      material.Bitmaps.push_back(bitmap);
    }
    m.Materials.push_back(material);
  }
  for (const TMTS_ObjectHeader& h : car.Cube.ObjectHeaders) {
    testing::MeshObject object;
    object.Vertices = h.Vertices;
    object.StripIndices = h.StripIndices;
    m.Objects.push_back(object);
  }
  m.Polygons = car.Cube.Polygons;
  for (size_t j = 1; j < m.Polygons.size(); j += 2) std::swap(m.Polygons[j].V0, m.Polygons[j].V2);
  m.FaceNormals = car.Cube.FaceNormals;
  m.WorldPos = car.Cube.WorldPos;
  return m.Bytes(MeshLayout::Old);
}

// A mesh whose only material has no texture.
std::vector<uint8_t> PlainMesh() {
  testing::TestMesh m;
  testing::MeshMaterial material;
  material.Name = "PLAIN GREY #1";
  m.Materials = {material};
  m.Objects.resize(1);
  m.Objects[0].Vertices = {testing::MeshVertex(0, 0, 0, 0, 0, -1), testing::MeshVertex(1, 0, 0, 0, 0, -1),
                           testing::MeshVertex(0, 1, 0, 0, 0, -1)};
  m.Polygons = {testing::MeshTriangle(0, 1, 2, 0)};
  m.WorldPos = {0, 1, 2};
  return m.Bytes(MeshLayout::MTS410);
}

struct Counts {
  int meshes = -1, vertices = -1, faces = -1;
  bool operator==(const Counts&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Counts& c) {
  return out << c.meshes << " meshes, " << c.vertices << " vertices, " << c.faces << " faces";
}

// What `assimp info` counts in a file.
Counts AssimpCounts(const std::string& file) {
  const testing::ProgramRun run = testing::RunProgram(ASSIMP_EXECUTABLE, {"info", file});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  Counts c;
  const auto number = [&](const char* label) {
    std::smatch m;
    const std::regex pattern(std::string("\n") + label + ":\\s+(\\d+)");
    return std::regex_search(run.out, m, pattern) ? std::stoi(m[1]) : -1;
  };
  c.meshes = number("Meshes");
  c.vertices = number("Vertices");
  c.faces = number("Faces");
  return c;
}

// The validator's verdict over `files`; its report when it is not clean.
void ExpectValid(const std::vector<std::string>& files) {
  std::vector<std::string> args = {GLTF_VALIDATE_SCRIPT, GLTF_VALIDATOR_MODULES};
  args.insert(args.end(), files.begin(), files.end());
  const testing::ProgramRun run = testing::RunProgram(NODE_EXECUTABLE, args);
  EXPECT_EQ(run.status, 0) << "glTF validator:\n" << run.out << run.err;
}

TEST(KestrelCliGltf, DemoCarAndPlainMeshesPassTheValidatorAndLoadInAssimp) {
  TempDir dir;
  DemoArchive().WriteTo(dir / "DEMO.MAS");
  WriteDemoCar(dir, "loose");
  ASSERT_TRUE(CreateDirectoryOneLevel(dir / "old"));
  testing::WriteFileBytes(dir / "old/OLDCAR.MTS", DemoCarInOldLayout());
  for (const std::string& texture : testing::DemoCarTextureNames())
    testing::WriteFileBytes(dir / "old/" + texture, testing::ReadFileBytes(dir / "loose/" + texture));
  testing::WriteFileBytes(dir / "PLAIN.MTS", PlainMesh());

  const std::vector<std::vector<std::string>> runs = {
      {"gltf", "DEMO.MAS", "democar.mts", "car.glb"},   {"gltf", "DEMO.MAS", "#0", "car.gltf"},
      {"gltf", "loose/DEMOCAR.MTS", "loose.glb"},        {"gltf", "old/OLDCAR.MTS", "old.glb"},
      {"gltf", "old/OLDCAR.MTS", "old.gltf"},            {"gltf", "PLAIN.MTS", "plain.glb"},
      {"gltf", "PLAIN.MTS", "plain.gltf"},
  };
  for (const auto& args : runs) {
    const CliRun run = Cli(dir, args);
    EXPECT_EQ(run.status, 0) << args.back() << ": " << run.err;
    EXPECT_EQ(run.err, "") << args.back();
  }
  ExpectValid({dir / "car.glb", dir / "car.gltf", dir / "loose.glb", dir / "old.glb", dir / "old.gltf",
               dir / "plain.glb", dir / "plain.gltf"});

  const TMTS410 car = DemoCar();
  Counts expected{static_cast<int>(car.Cube.ObjectHeaders.size()), 0, static_cast<int>(car.Cube.Polygons.size())};
  for (const TMTS_ObjectHeader& h : car.Cube.ObjectHeaders) expected.vertices += static_cast<int>(h.Vertices.size());
  for (const char* file : {"car.glb", "car.gltf", "loose.glb", "old.glb", "old.gltf"})
    EXPECT_EQ(AssimpCounts(dir / file), expected) << file;
  for (const char* file : {"plain.glb", "plain.gltf"}) EXPECT_EQ(AssimpCounts(dir / file), (Counts{1, 3, 1})) << file;

  // The older layout's turned triangles come out as the current layout's: same faces, same sides.
  const testing::GltfRead current = testing::ReadGltfAny(dir / "car.glb");
  const testing::GltfRead old = testing::ReadGltfAny(dir / "old.glb");
  const testing::Json& primitives = current.Doc["meshes"][0]["primitives"];
  for (size_t i = 0; i < primitives.Size(); ++i) {
    const testing::Json& a = primitives[i]["attributes"];
    const testing::Json& b = old.Doc["meshes"][0]["primitives"][i]["attributes"];
    EXPECT_EQ(current.Floats(a["POSITION"].Index()), old.Floats(b["POSITION"].Index())) << i;
    EXPECT_EQ(current.Floats(a["NORMAL"].Index()), old.Floats(b["NORMAL"].Index())) << i;
    EXPECT_EQ(current.Indices(primitives[i]["indices"].Index()),
              old.Indices(old.Doc["meshes"][0]["primitives"][i]["indices"].Index()))
        << i;
  }
  EXPECT_EQ(testing::ReadGltfAny(dir / "plain.gltf").Doc["materials"][0]["name"].String(), "PLAIN GREY #1");
}

// The PNG of material `material`'s texture, decoded.
testing::Rgba Picture(const std::string& file, size_t material) {
  const testing::GltfRead read = testing::ReadGltfAny(file);
  const size_t texture = read.Doc["materials"][material]["pbrMetallicRoughness"]["baseColorTexture"]["index"].Index();
  return testing::DecodePngForTest(read.ImageBytes(read.Doc["textures"][texture]["source"].Index()));
}

std::vector<uint8_t> Pixels(const std::vector<uint8_t>& bmp) { return DecodeBmp(bmp.data(), bmp.size()).Pixels; }

TEST(KestrelCliGltf, TexturesBesideTheArchiveComeBeforeItsEntries) {
  TempDir dir;
  TestArchive archive = DemoArchive();
  archive.Entries.pop_back();  // DCTYRE.BMP is neither inside nor beside
  archive.WriteTo(dir / "DEMO.MAS");

  CliRun run = Cli(dir, {"gltf", "DEMO.MAS", "DEMOCAR.MTS", "inside.glb"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "kestrel-cli: warning: texture DCTYRE.BMP not found; material CAR_TYRE stays white\n");
  EXPECT_EQ(Picture(dir / "inside.glb", 0).Pixels, Pixels(archive.Entries[1].Data));

  // A repainted body beside the archive wins over the entry.
  const std::vector<uint8_t> repainted = testing::Bmp24Bytes(8, 4, [](int x, int y) { return 0xFF000000u | (x * 30u + y); });
  testing::WriteFileBytes(dir / "DCBODY.BMP", repainted);
  run = Cli(dir, {"gltf", "DEMO.MAS", "DEMOCAR.MTS", "beside.glb"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Picture(dir / "beside.glb", 0).Pixels, Pixels(repainted));
  EXPECT_EQ(Picture(dir / "beside.glb", 1).Width, 64u) << "the glass still comes from the archive";
}

// Entry names are Windows-1252; the files and the mesh names inside them (JSON text) are UTF-8.
TEST(KestrelCliGltf, GltfAllNamesInUtf8) {
  TempDir dir;
  TestArchive a;
  a.Entries = {TestEntry("CAF\xC9.MTS", PlainMesh(), kMasTypeMTS)};
  a.WriteTo(dir / "A.MAS");
  const CliRun run = Cli(dir, {"gltf-all", "A.MAS", "out"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(testing::NamesIn(dir / "out"), (std::set<std::string>{"CAFÉ.glb"}));
  EXPECT_EQ(testing::ReadGltfAny(dir / "out/CAFÉ.glb").Doc["meshes"][0]["name"].String(), "CAFÉ");
}

TEST(KestrelCliGltf, GltfAllWritesOneFilePerMeshEntry) {
  TempDir dir;
  TestArchive a = DemoArchive();
  a.Entries.push_back(TestEntry("democar.mts", testing::BuildDemoCarMesh(), kMasTypeMTS));  // the same name
  a.Entries.push_back(TestEntry("BROKEN.MTS", testing::BytesOf("not a mesh at all"), kMasTypeMTS));
  a.Entries.push_back(TestEntry("PLAIN.MTS", PlainMesh(), kMasTypeMTS));
  a.WriteTo(dir / "A.MAS");

  const CliRun run = Cli(dir, {"gltf-all", "A.MAS", "out"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("kestrel-cli: BROKEN.MTS: "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("kestrel-cli: 1 of 4 mesh entries not exported\n"), std::string::npos) << run.err;
  EXPECT_EQ(testing::NamesIn(dir / "out"), (std::set<std::string>{"DEMOCAR.glb", "democar_4.glb", "PLAIN.glb"}));
  ExpectValid({dir / "out/DEMOCAR.glb", dir / "out/democar_4.glb", dir / "out/PLAIN.glb"});
  EXPECT_EQ(testing::ReadGltfAny(dir / "out/democar_4.glb").Doc["meshes"][0]["name"].String(), "democar");

  TestArchive noMeshes;
  noMeshes.Entries = {TestEntry("A.BMP", testing::BytesOf("BM"))};
  noMeshes.WriteTo(dir / "B.MAS");
  const CliRun none = Cli(dir, {"gltf-all", "B.MAS", "none"});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err, "kestrel-cli: This MAS file does not contain any MTS objects\n");
  EXPECT_FALSE(DirectoryExists(dir / "none"));
}

TEST(KestrelCliGltf, RefusalsSayWhyAndWriteNothing) {
  TempDir dir;
  DemoArchive().WriteTo(dir / "DEMO.MAS");
  testing::WriteFileBytes(dir / "MESH.bin", PlainMesh());
  const testing::CliRefusal cases[] = {
      {{"gltf", "DEMO.MAS", "DEMOCAR.MTS", "car.obj"}, 1, "car.obj: the output's name must end in .glb"},
      {{"gltf", "DEMO.MAS", "DCBODY.BMP", "car.glb"}, 1, "DCBODY.BMP is not a mesh entry (type 18"},
      {{"gltf", "DEMO.MAS", "NOPE.MTS", "car.glb"}, 1, "no entry named NOPE.MTS in "},
      {{"gltf", "MISSING.MTS", "car.glb"}, 1, "MISSING.MTS"},
      {{"gltf", "MESH.bin", "MESH.gltf"}, 1, "MESH.bin is the file being read; choose another output"},
      {{"gltf", "DEMO.MAS"}, 2, "usage: kestrel-cli gltf MESH.MTS OUT.glb | ARCHIVE.MAS ENTRY OUT.glb"},
      {{"gltf-all", "DEMO.MAS"}, 2, "usage: kestrel-cli gltf-all ARCHIVE.MAS DIR"},
  };
  for (const testing::CliRefusal& c : cases) testing::ExpectRefusal(dir, c);
  EXPECT_EQ(testing::NamesIn(dir.Path()), (std::set<std::string>{"DEMO.MAS", "MESH.bin"}));
  EXPECT_EQ(testing::ReadFileBytes(dir / "MESH.bin"), PlainMesh());
}

}  // namespace
}  // namespace kestrel
