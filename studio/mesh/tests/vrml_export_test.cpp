#include "studio/mesh/vrml_export.h"

#include <gtest/gtest.h>

#include "archive/archive_reader.h"
#include "archive/file_io.h"
#include "archive/testing/mas_builder.h"
#include "studio/mesh/tests/sample_meshes.h"
#include "studio/mesh/vrml_writer.h"

namespace kestrel {
namespace {

using testing::MeshLayout;
using testing::ReadFileText;
using testing::TempDir;
using testing::TestArchive;
using testing::TestEntry;

const std::string kDate = "Sat Jan 01 00:00:00 2000";

template <typename Mesh>
std::string Block(const std::string& name, const std::vector<uint8_t>& bytes) {
  return MeshVRMLBlock(name, testing::DecodedAs<Mesh>(bytes));
}

// An archive, loaded, with the reader kestrel-cli uses.
struct Archive {
  explicit Archive(const TestArchive& a) {
    a.WriteTo(dir / "A.MAS");
    loaded = ReadArchiveTable(dir / "A.MAS");
  }
  MeshEntryReader Reader() const {
    return [this](size_t i) { return DecodeEntryBytes(loaded.Table[i], ReadStoredBytes(loaded, i)); };
  }
  TempDir dir;
  LoadedArchive loaded;
  std::vector<std::string> messages;
  MeshReport Report() {
    return [this](const std::string& m) { messages.push_back(m); };
  }
};

TEST(ExportAllMeshesVRML, EveryMeshEntryInTableOrderUnderOneMaster) {
  const std::vector<uint8_t> car = testing::RichMesh().Bytes(MeshLayout::MTS410);
  const std::vector<uint8_t> old = testing::RichMesh().Bytes(MeshLayout::Old);
  std::vector<uint8_t> truncated = car;
  truncated.resize(car.size() - 10);
  TestArchive a;
  a.Entries = {{"CAR.MTS", car, 17},
               {"TEX.BMP", testing::BytesOf("BM"), 18},
               {"OLD.V2.MTS", old, 17, /*stored=*/true},
               {"CUT.MTS", truncated, 17},
               {"TYPE1.MTS", car, 1},
               {"LAST.MTS", car, 17}};
  a.Entries[5].RawBytes = testing::BytesOf("not a zlib stream");
  Archive archive(a);
  std::vector<size_t> started;
  const CombinedVRMLResult result =
      ExportAllMeshesVRML(archive.loaded.Table, archive.Reader(), archive.dir / "ALL.WRL", kDate, archive.Report(),
                          [&](size_t i) { started.push_back(i); });

  EXPECT_EQ(result.status, CombinedVRMLResult::Status::Complete);
  EXPECT_EQ(result.MeshEntries, 4);
  EXPECT_EQ(result.Written, 2);
  EXPECT_EQ(started, (std::vector<size_t>{0, 2, 3, 5, 6}));
  ASSERT_EQ(archive.messages.size(), 2u);
  EXPECT_EQ(archive.messages[0].rfind("MTS 4.10 decoder error : ", 0), 0u) << archive.messages[0];
  EXPECT_EQ(archive.messages[1], "data error");
  EXPECT_EQ(ReadFileText(archive.dir / "ALL.WRL"),
            VRMLCombinedHeader(kDate) + Block<TMTS410>("CAR", car) + Block<TMTS>("OLD.V2", old) + VRMLClosingLines());
  EXPECT_NE(VRMLCombinedHeader(kDate).find("   translation 0.0000 0.0000 0.0000\r\n   children [\r\n"),
            std::string::npos);
}

TEST(ExportAllMeshesVRML, ArchivesWithoutUsableMeshes) {
  {
    Archive archive(TestArchive{});
    const auto result = ExportAllMeshesVRML(archive.loaded.Table, archive.Reader(), archive.dir / "E.WRL", kDate,
                                            archive.Report());
    EXPECT_EQ(result.status, CombinedVRMLResult::Status::NoEntries);
    EXPECT_TRUE(archive.messages.empty());
    EXPECT_FALSE(FileExists(archive.dir / "E.WRL"));
  }
  {
    TestArchive a;
    a.Entries = {{"TEX.BMP", testing::BytesOf("BM"), 18}, {"OLD.MTS", testing::BytesOf("x"), 1}};
    Archive archive(a);
    const auto result = ExportAllMeshesVRML(archive.loaded.Table, archive.Reader(), archive.dir / "N.WRL", kDate,
                                            archive.Report());
    EXPECT_EQ(result.status, CombinedVRMLResult::Status::NoMeshes);
    EXPECT_EQ(archive.messages, std::vector<std::string>{"This MAS file does not contain any MTS objects"});
    EXPECT_FALSE(FileExists(archive.dir / "N.WRL"));
  }
  {
    TestArchive a;
    a.Entries = {{"BAD.MTS", testing::BytesOf(std::string("CUBE_MTS_4.10\0\0\0", 16)), 17}};
    Archive archive(a);
    const auto result = ExportAllMeshesVRML(archive.loaded.Table, archive.Reader(), archive.dir / "B.WRL", kDate,
                                            archive.Report());
    EXPECT_EQ(result.status, CombinedVRMLResult::Status::Complete);
    EXPECT_EQ(result.Written, 0);
    EXPECT_EQ(archive.messages.size(), 1u);
    EXPECT_EQ(ReadFileText(archive.dir / "B.WRL"), VRMLCombinedHeader(kDate) + VRMLClosingLines());

    archive.messages.clear();
    const auto unfinished = ExportAllMeshesVRML(archive.loaded.Table, archive.Reader(), archive.dir / "no/B.WRL",
                                                kDate, archive.Report());
    EXPECT_EQ(unfinished.status, CombinedVRMLResult::Status::Unfinished);
    ASSERT_EQ(archive.messages.size(), 1u);
    EXPECT_NE(archive.messages[0].find("no/B.WRL"), std::string::npos) << archive.messages[0];
  }
}

TEST(ExportEntryVRML, OneEntryAsACompleteDocumentOrVRMLExportError) {
  const std::vector<uint8_t> car = testing::RichMesh().Bytes(MeshLayout::MTS410);
  TestArchive a;
  a.Entries = {{"TEX.BMP", testing::BytesOf("BM"), 18}, {"CAR.MTS", car, 17}, {"BAD.MTS", testing::BytesOf("\x01"), 17}};
  Archive archive(a);
  const std::string out = archive.dir / "CAR.WRL";
  ASSERT_TRUE(ExportEntryVRML(archive.loaded.Table, 1, archive.Reader(), out, kDate, archive.Report()));
  EXPECT_EQ(ReadFileText(out), VRMLDocumentHeader(kDate) + Block<TMTS410>("CAR", car) + VRMLClosingLines());
  EXPECT_TRUE(archive.messages.empty());

  const std::string none = archive.dir / "NONE.WRL";
  for (size_t index : {size_t{0}, size_t{2}, size_t{3}, SIZE_MAX})
    EXPECT_FALSE(ExportEntryVRML(archive.loaded.Table, index, archive.Reader(), none, kDate, archive.Report()));
  EXPECT_FALSE(FileExists(none));
  // The old decoder's reason for BAD.MTS, then one "VRML Export error" per failed export.
  ASSERT_EQ(archive.messages.size(), 5u);
  EXPECT_NE(archive.messages[1], "VRML Export error");
  for (size_t i : {0, 2, 3, 4}) EXPECT_EQ(archive.messages[i], "VRML Export error");
}

TEST(VRMLObjectName, DropsTheExtensionOnly) {
  EXPECT_EQ(VRMLObjectName("CAR.MTS"), "CAR");
  EXPECT_EQ(VRMLObjectName("CAR.LOD1.MTS"), "CAR.LOD1");
  EXPECT_EQ(VRMLObjectName("CAR"), "CAR");
  EXPECT_EQ(VRMLObjectName(".MTS"), "");
}

}  // namespace
}  // namespace kestrel
