// The VRML text read back by an independent VRML 97 reader (tovrmlx3d, from Debian's view3dscene).
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

#include "archive/archive_reader.h"
#include "archive/testing/mas_builder.h"
#include "studio/mesh/testing/demo_car.h"
#include "studio/mesh/tests/sample_meshes.h"
#include "studio/mesh/vrml_export.h"
#include "studio/mesh/vrml_writer.h"

namespace kestrel {
namespace {

using testing::MeshLayout;

bool HaveReader() { return std::system("command -v tovrmlx3d >/dev/null 2>&1") == 0; }

// Runs the reader; its complaints (warnings included) go to `complaints`.
int ReadBack(const std::string& wrl, const std::string& x3d, std::string& complaints) {
  const std::string err = x3d + ".err";
  const int status = std::system(("tovrmlx3d '" + wrl + "' >'" + x3d + "' 2>'" + err + "'").c_str());
  const std::vector<uint8_t> text = testing::ReadFileBytes(err);
  complaints.assign(text.begin(), text.end());
  return status;
}

TEST(VRMLReader, AcceptsTheDemoCarAndACombinedFileOfOddMeshes) {
  if (!HaveReader()) GTEST_SKIP() << "tovrmlx3d (Debian package view3dscene) is not installed; VRML not read back";
  testing::TempDir dir;

  const std::vector<uint8_t> car = testing::BuildDemoCarMesh();
  AnyMesh mesh;
  ASSERT_TRUE(DecodeAnyMesh(car.data(), car.size(), mesh, {}));
  ASSERT_TRUE(WriteMeshVRML(dir / "CAR.WRL", "DEMOCAR", mesh, false, "Tue Mar 04 09:05:07 2003", {}));

  // Odd meshes: NaN and infinite coordinates, a material with no object, one with no triangles,
  // names with spaces and "#", no materials at all, triangles out of range.
  testing::TestMesh odd = testing::RichMesh();
  odd.Materials[0].Name = "car body#2";
  odd.Materials.push_back(testing::Material("NO OBJECT", {}));
  odd.Polygons.push_back(testing::MeshTriangle(9, 9, 9, 0));
  testing::TestMesh none;
  none.Objects.resize(1);
  testing::TestArchive a;
  a.Entries = {{"ODD.MTS", odd.Bytes(MeshLayout::MTS410), 17},
               {"ODDOLD.MTS", odd.Bytes(MeshLayout::Old), 17},
               {"NONE.MTS", none.Bytes(MeshLayout::MTS410), 17},
               {"CAR.MTS", car, 17}};
  a.WriteTo(dir / "A.MAS");
  const LoadedArchive archive = ReadArchiveTable(dir / "A.MAS");
  const auto result = ExportAllMeshesVRML(
      archive.Table, [&](size_t i) { return DecodeEntryBytes(archive.Table[i], ReadStoredBytes(archive, i)); },
      dir / "ALL.WRL", "Tue Mar 04 09:05:07 2003", {});
  ASSERT_EQ(result.Written, 4);

  for (const std::string name : {"CAR", "ALL"}) {
    std::string complaints;
    EXPECT_EQ(ReadBack(dir / (name + ".WRL"), dir / (name + ".x3d"), complaints), 0) << name;
    EXPECT_EQ(complaints, "") << name;
    const std::vector<uint8_t> x3d = testing::ReadFileBytes(dir / (name + ".x3d"));
    EXPECT_NE(std::string(x3d.begin(), x3d.end()).find("DEF CAR_TYRE-FACES IndexedFaceSet"), std::string::npos)
        << name;
  }
}

}  // namespace
}  // namespace kestrel
