// File > "Export glTF File": when it is offered, what its save dialog asks, and what it writes.
#include <QMenu>

#include "archive/archive_reader.h"
#include "archive/file_io.h"
#include "studio/mesh/testing/demo_car.h"
#include "studio/mesh/testing/gltf_reader.h"
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

class GltfExportCommandTest : public StudioTest {
 protected:
  // The demo car at table position 0, then its textures; `withTyre` false leaves DCTYRE.BMP out.
  RecordingWindow& StartWithDemoCar(bool withTyre = true) {
    TestArchive archive;
    for (const kestrel::testing::DemoFile& f : kestrel::testing::DemoCarFiles())
      if (withTyre || f.Name != "DCTYRE.BMP")
        archive.Entries.push_back(TestEntry(f.Name, f.Bytes, f.Name == kestrel::testing::kDemoCarMeshName ? 17 : 18));
    return Start(QString::fromStdString(WriteArchive("DEMO.MAS", archive)));
  }
};

TEST_F(GltfExportCommandTest, OfferedInTheFileMenuWhileAMeshEntryIsSelected) {
  RecordingWindow& w = StartWithDemoCar();
  EXPECT_TRUE(w.File1->actions().contains(w.ExportglTFFile1));
  EXPECT_EQ(w.ExportglTFFile1->text().remove(QLatin1Char('&')), "Export glTF File");
  EXPECT_FALSE(w.ExportglTFFile1->isEnabled()) << "nothing selected yet";
  Select(0);
  EXPECT_TRUE(w.ExportglTFFile1->isEnabled());
  Select(1);
  EXPECT_FALSE(w.ExportglTFFile1->isEnabled()) << "an image entry";
  Select(0);
  w.OpenArchive(QPath("DEMO.MAS"));
  EXPECT_FALSE(w.ExportglTFFile1->isEnabled()) << "reopening selects nothing";
}

TEST_F(GltfExportCommandTest, WritesTheChosenFileWithTexturesAndRemembersTheFolder) {
  WriteIni("BMPInitialDir=/data/models\n");
  RecordingWindow& w = StartWithDemoCar();
  Select(0);
  const std::string out = dir_ / "export";
  ASSERT_TRUE(CreateDirectoryOneLevel(out));
  dialogs_.fileAnswers.push_back(QString::fromStdString(out + "/car.gltf"));
  w.ExportglTFFile1->trigger();

  ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
  const FileDialogRequest& r = dialogs_.fileRequests[0];
  EXPECT_EQ(r.title, "Save a glTF File");
  EXPECT_EQ(r.startDirectory, "/data/models");
  EXPECT_EQ(r.proposedName, "DEMOCAR.glb");
  EXPECT_EQ(r.filter, "glTF Binary Files (*.glb)|*.glb|glTF Files (*.gltf)|*.gltf");
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(w.Settings().BMPInitialDir, QString::fromStdString(out));

  const kestrel::testing::GltfRead read = kestrel::testing::ReadGltfAny(out + "/car.gltf");
  EXPECT_EQ(read.Doc["nodes"][0]["name"].String(), "DEMOCAR");
  EXPECT_EQ(read.Doc["images"].Size(), 3u) << "textures taken from inside the archive";
  EXPECT_EQ(kestrel::testing::NamesIn(out),
            (std::set<std::string>{"car.gltf", "car.bin", "car_DCBODY.png", "car_DCGLASS.png", "car_DCTYRE.png"}));
}

TEST_F(GltfExportCommandTest, MissingTextureIsNamedInOneWarningAndCancelWritesNothing) {
  RecordingWindow& w = StartWithDemoCar(/*withTyre=*/false);
  Select(0);
  dialogs_.fileAnswers.push_back(QString());  // cancelled
  w.ExportglTFFile1->trigger();
  EXPECT_EQ(kestrel::testing::NamesIn(dir_.Path()).count("DEMOCAR.glb"), 0u);
  EXPECT_TRUE(dialogs_.messages.empty());

  dialogs_.fileAnswers.push_back(QPath("car"));  // no extension: the binary form
  w.ExportglTFFile1->trigger();
  EXPECT_TRUE(FileExists(Path("car.glb")));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Warning);
  EXPECT_EQ(dialogs_.messages[0].text, "texture DCTYRE.BMP not found; material CAR_TYRE stays white");
}

}  // namespace
}  // namespace kestrel::studio::testing
