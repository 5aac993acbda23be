// kestrel-cli's mesh commands, run as a modder's script runs them.
#include <gtest/gtest.h>

#include <cctype>

#include "archive/file_io.h"
#include "archive/testing/mas_builder.h"
#include "cli_runner.h"
#include "studio/mesh/mts_decoder.h"
#include "studio/mesh/mts_dump.h"
#include "studio/mesh/testing/mts_builder.h"
#include "studio/mesh/tests/sample_meshes.h"
#include "studio/mesh/vrml_writer.h"

namespace kestrel {
namespace {

using testing::MeshLayout;
using testing::ReadFileText;
using testing::TempDir;
using testing::TestArchive;

constexpr char kEpoch[] = "1046768707";
constexpr char kEpochDate[] = "Tue Mar 04 09:05:07 2003";

// Runs kestrel-cli with `args`; `environment` is one "NAME=value" or empty.
testing::CliRun Cli(const TempDir& dir, const std::vector<std::string>& args, const std::string& environment = "") {
  return testing::RunCli(dir, args, environment.empty() ? std::vector<std::string>{} : std::vector<std::string>{environment});
}

// "Ddd Mmm dd hh:nn:ss yyyy" followed by CR LF.
bool LooksLikeDate(const std::string& text) {
  const std::string shape = "Aaa Aaa 00 00:00:00 0000\r\n";
  if (text.size() != shape.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    const char c = text[i], s = shape[i];
    if (s == 'A' ? !std::isupper(static_cast<unsigned char>(c))
        : s == 'a' ? !std::islower(static_cast<unsigned char>(c))
        : s == '0' ? !std::isdigit(static_cast<unsigned char>(c))
                   : c != s)
      return false;
  }
  return true;
}

testing::TestMesh Mesh(const std::string& material) {
  testing::TestMesh m;
  testing::MeshMaterial mat;
  mat.Name = material;
  testing::MeshBitmap bitmap;
  bitmap.Name = material + ".BMP";
  mat.Bitmaps = {bitmap};
  m.Materials = {mat};
  m.Objects.resize(1);
  m.Objects[0].Vertices = {testing::MeshVertex(0, 0, 0), testing::MeshVertex(1, 0.5f, 0.25f),
                           testing::MeshVertex(0, 1, 0)};
  m.Polygons = {testing::MeshTriangle(0, 1, 2, 0)};
  m.FaceNormals = {{0, 0, 1, 0}};
  m.WorldPos = {1, 2, 3};
  return m;
}

// The block the library writes for `bytes`, named `name`.
std::string Block(const std::string& name, const std::vector<uint8_t>& bytes) {
  if (IsMTS410(bytes.data(), bytes.size())) return MeshVRMLBlock(name, testing::DecodedAs<TMTS410>(bytes));
  return MeshVRMLBlock(name, testing::DecodedAs<TMTS>(bytes));
}

TEST(KestrelCliMesh, HelpAndUsage) {
  TempDir dir;
  const testing::CliRun help = Cli(dir, {"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* line : {"  mesh-dump MESH.MTS ", "  vrml MESH.MTS OUT.WRL ", "  vrml ARCHIVE.MAS ENTRY OUT.WRL\n",
                           "  vrml-all ARCHIVE.MAS OUT.WRL "})
    EXPECT_NE(help.out.find(line), std::string::npos) << help.out;

  const std::vector<std::vector<std::string>> wrong = {
      {"mesh-dump"}, {"mesh-dump", "A", "B"}, {"vrml", "A"}, {"vrml", "A", "B", "C", "D"}, {"vrml-all", "A"}};
  for (const auto& args : wrong) {
    const testing::CliRun run = Cli(dir, args);
    EXPECT_EQ(run.status, 2) << args[0];
    EXPECT_EQ(run.err.rfind("usage: kestrel-cli " + args[0] + " ", 0), 0u) << run.err;
  }
}

TEST(KestrelCliMesh, MeshDumpWritesBesideTheMesh) {
  TempDir dir;
  const std::vector<uint8_t> car = Mesh("BODY").Bytes(MeshLayout::MTS410);
  testing::WriteFileBytes(dir / "CAR.MTS", car);
  const testing::CliRun ok = Cli(dir, {"mesh-dump", dir / "CAR.MTS"});
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.err, "");
  TMTS410 mesh;
  ASSERT_TRUE(DecodeMTS410(car.data(), car.size(), mesh, {}));
  EXPECT_EQ(ReadFileText(dir / "CAR.txt"), MTSDumpText(mesh, "."));

  testing::WriteFileBytes(dir / "OLD.MTS", Mesh("BODY").Bytes(MeshLayout::Old));
  std::vector<uint8_t> cut = car;
  cut.resize(car.size() - 1);
  testing::WriteFileBytes(dir / "CUT.MTS", cut);
  struct Case {
    std::string file, message;
  };
  for (const Case& c : {Case{"OLD.MTS", "not a mesh in the 4.10 layout"},
                        Case{"CUT.MTS", "kestrel-cli: MTS 4.10 decoder error : "},
                        Case{"MISSING.MTS", "File not found"}}) {
    const testing::CliRun run = Cli(dir, {"mesh-dump", dir / c.file});
    EXPECT_EQ(run.status, 1) << c.file;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(FileExists(MTSDumpPath(dir / c.file))) << c.file;
  }
}

TEST(KestrelCliMesh, VrmlOfLooseMeshFilesOfEitherLayout) {
  TempDir dir;
  const std::vector<uint8_t> car = Mesh("BODY").Bytes(MeshLayout::MTS410);
  const std::vector<uint8_t> old = Mesh("OLD BODY").Bytes(MeshLayout::Old);
  testing::WriteFileBytes(dir / "car.v2.mts", car);
  testing::WriteFileBytes(dir / "OLD.MTS", old);
  const std::string epoch = std::string("SOURCE_DATE_EPOCH=") + kEpoch;

  EXPECT_EQ(Cli(dir, {"vrml", dir / "car.v2.mts", dir / "CAR.WRL"}, epoch).status, 0);
  EXPECT_EQ(ReadFileText(dir / "CAR.WRL"), VRMLDocumentHeader(kEpochDate) + Block("car.v2", car) + VRMLClosingLines());
  EXPECT_EQ(Cli(dir, {"vrml", dir / "OLD.MTS", dir / "OLD.WRL"}, epoch).status, 0);
  EXPECT_EQ(ReadFileText(dir / "OLD.WRL"), VRMLDocumentHeader(kEpochDate) + Block("OLD", old) + VRMLClosingLines());

  // Without SOURCE_DATE_EPOCH the date is the local time now.
  EXPECT_EQ(Cli(dir, {"vrml", dir / "OLD.MTS", dir / "NOW.WRL"}).status, 0);
  const std::string now = ReadFileText(dir / "NOW.WRL");
  const size_t date = now.find("\r\n# Date: ");
  ASSERT_NE(date, std::string::npos);
  EXPECT_TRUE(LooksLikeDate(now.substr(date + 10, 26))) << now.substr(date + 10, 26);

  const testing::CliRun badEpoch = Cli(dir, {"vrml", dir / "OLD.MTS", dir / "BAD.WRL"}, "SOURCE_DATE_EPOCH=soon");
  EXPECT_EQ(badEpoch.status, 1);
  EXPECT_NE(badEpoch.err.find("SOURCE_DATE_EPOCH"), std::string::npos) << badEpoch.err;
  testing::WriteFileBytes(dir / "notes.txt", testing::BytesOf("not a mesh"));
  const testing::CliRun notMesh = Cli(dir, {"vrml", dir / "notes.txt", dir / "BAD.WRL"}, epoch);
  EXPECT_EQ(notMesh.status, 1);
  EXPECT_NE(notMesh.err.find("kestrel-cli: VRML Export error"), std::string::npos) << notMesh.err;
  const testing::CliRun unwritable = Cli(dir, {"vrml", dir / "OLD.MTS", dir / "no/BAD.WRL"}, epoch);
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.err.find("BAD.WRL"), std::string::npos) << unwritable.err;
  EXPECT_FALSE(FileExists(dir / "BAD.WRL"));
}

TEST(KestrelCliMesh, VrmlOfOneArchiveEntry) {
  TempDir dir;
  const std::vector<uint8_t> car = Mesh("BODY").Bytes(MeshLayout::MTS410);
  TestArchive a;
  a.Entries = {{"TEX.BMP", testing::BytesOf("BM"), 18},
               {"CAR.MTS", car, 17},
               {"BAD.MTS", testing::BytesOf("bad"), 17}};
  a.WriteTo(dir / "A.MAS");
  const std::string epoch = std::string("SOURCE_DATE_EPOCH=") + kEpoch;

  const testing::CliRun ok = Cli(dir, {"vrml", dir / "A.MAS", "car.mts", dir / "CAR.WRL"}, epoch);
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ReadFileText(dir / "CAR.WRL"), VRMLDocumentHeader(kEpochDate) + Block("CAR", car) + VRMLClosingLines());

  struct Case {
    std::string entry, message;
  };
  for (const Case& c : {Case{"TEX.BMP", "TEX.BMP is not a mesh entry (type 18, BMP)"},
                        Case{"NOPE.MTS", "no entry named NOPE.MTS in "},
                        Case{"BAD.MTS", "kestrel-cli: VRML Export error"}}) {
    const testing::CliRun run = Cli(dir, {"vrml", dir / "A.MAS", c.entry, dir / "X.WRL"}, epoch);
    EXPECT_EQ(run.status, 1) << c.entry;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
  EXPECT_FALSE(FileExists(dir / "X.WRL"));
  EXPECT_NE(Cli(dir, {"vrml", dir / "MISSING.MAS", "CAR.MTS", dir / "X.WRL"}).err.find("File not found"),
            std::string::npos);
}

TEST(KestrelCliMesh, OutputsNeverReplaceTheFileBeingRead) {
  TempDir dir;
  const std::vector<uint8_t> car = Mesh("BODY").Bytes(MeshLayout::MTS410);
  testing::WriteFileBytes(dir / "CAR.MTS", car);
  testing::WriteFileBytes(dir / "NOTES.txt", car);  // its dump would be written under its own name
  TestArchive a;
  a.Entries = {{"CAR.MTS", car, 17}};
  a.WriteTo(dir / "A.MAS");
  const std::vector<uint8_t> archive = a.Build();
  const std::string epoch = std::string("SOURCE_DATE_EPOCH=") + kEpoch;

  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"mesh-dump", dir / "NOTES.txt"},
           {"vrml", dir / "CAR.MTS", "./CAR.MTS"},
           {"vrml", dir / "A.MAS", "CAR.MTS", dir / "A.MAS"},
           {"vrml-all", "A.MAS", dir / "A.MAS"}}) {
    SCOPED_TRACE(args[0] + " " + args.back());
    const testing::CliRun run = Cli(dir, args, epoch);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("is the file being read"), std::string::npos) << run.err;
    EXPECT_EQ(testing::ReadFileBytes(dir / "CAR.MTS"), car);
    EXPECT_EQ(testing::ReadFileBytes(dir / "NOTES.txt"), car);
    EXPECT_EQ(testing::ReadFileBytes(dir / "A.MAS"), archive);
  }
}

TEST(KestrelCliMesh, VrmlAllRollsEveryMeshIntoOneFile) {
  TempDir dir;
  const std::vector<uint8_t> car = Mesh("BODY").Bytes(MeshLayout::MTS410);
  const std::vector<uint8_t> old = Mesh("OLD").Bytes(MeshLayout::Old);
  const std::string epoch = std::string("SOURCE_DATE_EPOCH=") + kEpoch;
  const std::string header = VRMLCombinedHeader(kEpochDate);

  TestArchive good;
  good.Entries = {{"CAR.MTS", car, 17}, {"TEX.BMP", testing::BytesOf("BM"), 18}, {"OLD.MTS", old, 17}};
  good.WriteTo(dir / "GOOD.MAS");
  const testing::CliRun ok = Cli(dir, {"vrml-all", dir / "GOOD.MAS", dir / "GOOD.WRL"}, epoch);
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.err, "");
  EXPECT_EQ(ReadFileText(dir / "GOOD.WRL"), header + Block("CAR", car) + Block("OLD", old) + VRMLClosingLines());

  // A mesh that does not decode is left out, named, and the run fails; the file is still closed.
  TestArchive mixed = good;
  std::vector<uint8_t> cut = car;
  cut.resize(cut.size() - 4);
  mixed.Entries.insert(mixed.Entries.begin() + 1, testing::TestEntry("CUT.MTS", cut, 17));
  mixed.WriteTo(dir / "MIXED.MAS");
  const testing::CliRun partial = Cli(dir, {"vrml-all", dir / "MIXED.MAS", dir / "MIXED.WRL"}, epoch);
  EXPECT_EQ(partial.status, 1);
  EXPECT_NE(partial.err.find("kestrel-cli: CUT.MTS: MTS 4.10 decoder error : "), std::string::npos) << partial.err;
  EXPECT_NE(partial.err.find("1 of 3 mesh entries left out of "), std::string::npos) << partial.err;
  EXPECT_EQ(ReadFileText(dir / "MIXED.WRL"), header + Block("CAR", car) + Block("OLD", old) + VRMLClosingLines());

  for (const std::string name : {"NOMESH", "EMPTY"}) {
    TestArchive a;
    if (name == "NOMESH") a.Entries = {{"TEX.BMP", testing::BytesOf("BM"), 18}};
    a.WriteTo(dir / (name + ".MAS"));
    const testing::CliRun run = Cli(dir, {"vrml-all", dir / (name + ".MAS"), dir / (name + ".WRL")}, epoch);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "kestrel-cli: This MAS file does not contain any MTS objects\n");
    EXPECT_FALSE(FileExists(dir / (name + ".WRL")));
  }
}

}  // namespace
}  // namespace kestrel
