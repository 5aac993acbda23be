// The mesh preview without OpenGL, and the developer's VRML and dump commands through the dialogs.
#include <QAction>
#include <QDir>
#include <QLocale>
#include <QStatusBar>
#include <QTreeView>
#include <filesystem>

#include "archive/testing/mas_builder.h"
#include "studio/image/testing/image_writers.h"
#include "studio/mesh/mts_dump.h"
#include "studio/mesh/tests/sample_meshes.h"
#include "studio/mesh/vrml_writer.h"
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

using kestrel::testing::Decoded;
using kestrel::testing::MeshLayout;
using kestrel::testing::RichMesh;

std::vector<uint8_t> Broken() {
  std::vector<uint8_t> bytes = RichMesh().Bytes(MeshLayout::MTS410);
  bytes.resize(60);
  return bytes;
}

// The "# Date: " text of a written VRML file, so that the expected text can carry the same date.
std::string DateOf(const std::string& text) {
  const size_t at = text.find("# Date: ");
  return at == std::string::npos ? std::string() : text.substr(at + 8, text.find('\r', at) - at - 8);
}

class MeshCommandsTest : public StudioTest {
 protected:
  void SetUp() override {
    StudioTest::SetUp();
    WriteIni("IsDeveloper=1\nBMPInitialDir=/start/here\n");
    open_gl_available_ = false;
  }
  RecordingWindow& Open(std::vector<TestEntry> entries, const std::string& name = "CARS.MAS") {
    RecordingWindow& w = Start(QString::fromStdString(WriteArchive(name, ArchiveOf(std::move(entries)))));
    w.showMeshes = true;
    return w;
  }
  QString Answer(const std::string& name) {
    dialogs_.fileAnswers.push_back(QPath(name));
    return QPath(name);
  }
  std::vector<QString> Texts() const {
    std::vector<QString> texts;
    for (const ShownMessage& m : dialogs_.messages) texts.push_back(m.text);
    return texts;
  }
};

TEST_F(MeshCommandsTest, ExportSingleVRMLFileWritesTheMeshOnShow) {
  Open({TestEntry("CAR.MTS", RichMesh().Bytes(MeshLayout::MTS410), 17), TestEntry("SKY.BMP", Bytes("bmp")),
        TestEntry("OLDCAR.MTS", RichMesh().Bytes(MeshLayout::Old), 17)});
  Select(0);
  Answer("car.wrl");
  W().ExportSingleVRMLFile1->trigger();
  ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
  const FileDialogRequest& request = dialogs_.fileRequests[0];
  EXPECT_EQ(request.objectName, "SDOtherFile");
  EXPECT_EQ(request.title, "Save a VRML File");
  EXPECT_EQ(request.filter, "VRML Files (*.WRL)|*.WRL");
  EXPECT_EQ(request.defaultSuffix, "wrl");
  EXPECT_EQ(request.startDirectory, "/start/here");
  EXPECT_EQ(request.proposedName, "CAR.WRL");
  EXPECT_EQ(W().Settings().BMPInitialDir, QString::fromStdString(dir_.Path()));

  // Exactly what the writer makes of the same mesh, date included.
  const std::string written = kestrel::testing::ReadFileText(Path("car.wrl"));
  const std::string date = DateOf(written);
  ASSERT_FALSE(date.empty());
  WriteMeshVRML(Path("expected.wrl"), "CAR", Decoded<TMTS410>(RichMesh()), false, date, {});
  EXPECT_EQ(written, kestrel::testing::ReadFileText(Path("expected.wrl")));

  Select(2);
  Answer("old.wrl");
  W().ExportSingleVRMLFile1->trigger();
  WriteMeshVRML(Path("expected.wrl"), "OLDCAR", Decoded<TMTS>(RichMesh()), false,
                DateOf(kestrel::testing::ReadFileText(Path("old.wrl"))), {});
  EXPECT_EQ(kestrel::testing::ReadFileText(Path("old.wrl")), kestrel::testing::ReadFileText(Path("expected.wrl")));
  EXPECT_EQ(dialogs_.fileRequests.back().startDirectory, QString::fromStdString(dir_.Path()));
  EXPECT_TRUE(dialogs_.messages.empty()) << Texts().front().toStdString();
}

TEST_F(MeshCommandsTest, ExportSingleVRMLFileRefusesABrokenOrAnotherArchivesMesh) {
  Open({TestEntry("BROKEN.MTS", Broken(), 17), TestEntry("TRACK.ANM", Bytes("anim"), 31)});
  Select(0);
  ASSERT_EQ(dialogs_.messages.size(), 1u);  // the preview's decoder message
  dialogs_.Clear();
  W().ExportSingleVRMLFile1->trigger();
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  EXPECT_TRUE(dialogs_.messages[0].text.startsWith("MTS 4.10 decoder error : "));
  EXPECT_EQ(dialogs_.messages[1].icon, MessageIcon::None);
  EXPECT_EQ(dialogs_.messages[1].text, "VRML Export error");
  EXPECT_TRUE(dialogs_.fileRequests.empty());

  // Entry 0 of another archive is a mesh, but not the one that was on show.
  const std::string other = WriteArchive("OTHER.MAS", ArchiveOf({TestEntry("GOOD.MTS", RichMesh().Bytes(MeshLayout::MTS410), 17),
                                                                TestEntry("TRACK.ANM", Bytes("anim"), 31)}));
  W().OpenArchive(QString::fromStdString(other));
  EXPECT_FALSE(W().ExportSingleVRMLFile1->isEnabled());
  Select(1);
  // Offered only while a mesh is on show.
  EXPECT_FALSE(W().ExportSingleVRMLFile1->isEnabled()) << "an animation entry";
  Select(0);
  EXPECT_TRUE(W().ExportSingleVRMLFile1->isEnabled());
}

TEST_F(MeshCommandsTest, RollAllWritesEveryMeshThatDecodesUnderOneNode) {
  Open({TestEntry("A.MTS", RichMesh().Bytes(MeshLayout::MTS410), 17), TestEntry("T.BMP", Bytes("bmp")),
        TestEntry("BROKEN.MTS", Broken(), 17), TestEntry("B.MTS", RichMesh().Bytes(MeshLayout::Old), 17)});
  Answer("all.wrl");
  W().RollallMTSObjectsinoneVRMLFile1->trigger();
  ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
  EXPECT_EQ(dialogs_.fileRequests[0].proposedName, QPath("CARS.WRL"));
  EXPECT_EQ(dialogs_.fileRequests[0].title, "Save a VRML File");
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_TRUE(dialogs_.messages[0].text.startsWith("BROKEN.MTS: MTS 4.10 decoder error : "));

  const std::string written = kestrel::testing::ReadFileText(Path("all.wrl"));
  const std::string date = DateOf(written);
  EXPECT_EQ(written, VRMLCombinedHeader(date) + MeshVRMLBlock("A", Decoded<TMTS410>(RichMesh())) +
                         MeshVRMLBlock("B", Decoded<TMTS>(RichMesh())) + VRMLClosingLines());
  EXPECT_EQ(W().Settings().BMPInitialDir, QString::fromStdString(dir_.Path()));
}

TEST_F(MeshCommandsTest, RollAllWithoutMeshesOrWhenCancelledWritesNothing) {
  Open({TestEntry("T.BMP", Bytes("bmp"))});
  W().RollallMTSObjectsinoneVRMLFile1->trigger();
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(dialogs_.messages[0].text, "This MAS file does not contain any MTS objects");
  EXPECT_TRUE(dialogs_.fileRequests.empty());

  Open({TestEntry("A.MTS", RichMesh().Bytes(MeshLayout::MTS410), 17)}, "ONE.MAS");
  W().RollallMTSObjectsinoneVRMLFile1->trigger();  // no answer: cancelled
  EXPECT_FALSE(std::filesystem::exists(Path("ONE.WRL")));
}

// A VRML file written over the open archive would lose every entry in it.
TEST_F(MeshCommandsTest, VRMLExportsRefuseTheOpenArchiveAsTheirTarget) {
  for (QAction* TFKestrel::*command : {&TFKestrel::ExportSingleVRMLFile1, &TFKestrel::RollallMTSObjectsinoneVRMLFile1}) {
    Open({TestEntry("CAR.MTS", RichMesh().Bytes(MeshLayout::MTS410), 17)});
    const std::vector<uint8_t> archive = kestrel::testing::ReadFileBytes(Path("CARS.MAS"));
    Select(0);
    dialogs_.Clear();
    Answer("CARS.MAS");
    (W().*command)->trigger();
    EXPECT_EQ(kestrel::testing::ReadFileBytes(Path("CARS.MAS")), archive);
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(dialogs_.messages[0].text, QPath("CARS.MAS") + " is the open archive; choose another file");
  }
}

TEST_F(MeshCommandsTest, ToolButton6DumpsA410MeshWithTheUsersDecimalSeparator) {
  Start();
  kestrel::testing::WriteFileBytes(Path("CAR.MTS"), RichMesh().Bytes(MeshLayout::MTS410));
  kestrel::testing::WriteFileBytes(Path("OLD.MTS"), RichMesh().Bytes(MeshLayout::Old));
  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  Answer("CAR.MTS");
  W().ToolButton6->trigger();
  QLocale::setDefault(saved);
  ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
  EXPECT_EQ(dialogs_.fileRequests[0].objectName, "SDOtherFile");
  EXPECT_EQ(dialogs_.fileRequests[0].title, "Save a MTS File");
  EXPECT_EQ(dialogs_.fileRequests[0].filter, "MTS Files (*.MTS)|*.MTS");
  EXPECT_EQ(dialogs_.fileRequests[0].defaultSuffix, "mts");
  EXPECT_EQ(kestrel::testing::ReadFileText(Path("CAR.txt")), MTSDumpText(Decoded<TMTS410>(RichMesh()), ","));

  // The dialog opens where it was last; an older-layout mesh is not dumped and nothing is said.
  Answer("OLD.MTS");
  W().ToolButton6->trigger();
  EXPECT_EQ(dialogs_.fileRequests[1].startDirectory, QString::fromStdString(dir_.Path()));
  EXPECT_EQ(dialogs_.fileRequests[1].proposedName, "CAR.MTS");
  EXPECT_FALSE(std::filesystem::exists(Path("OLD.txt")));
  EXPECT_TRUE(dialogs_.messages.empty());

  // A dump that cannot be written is reported with the file error's text.
  std::filesystem::remove(Path("CAR.txt"));
  std::filesystem::create_directory(Path("CAR.txt"));
  Answer("CAR.MTS");
  W().ToolButton6->trigger();
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::None);
  EXPECT_TRUE(dialogs_.messages[0].text.contains("CAR.txt")) << dialogs_.messages[0].text.toStdString();
}

TEST_F(MeshCommandsTest, PreviewMessagesAndTheScratchFolder) {
  TestEntry damaged("DAMAGED.MTS", {}, 17);
  damaged.RawBytes = std::vector<uint8_t>{1, 2, 3, 4, 5, 6};
  kestrel::testing::TestMesh textured = RichMesh();
  textured.Materials = {kestrel::testing::Material("M", {kestrel::testing::Bitmap("BAD.TGA")})};
  Open({TestEntry("BROKEN.MTS", Broken(), 17), damaged, TestEntry("TEX.MTS", textured.Bytes(MeshLayout::MTS410), 17),
        TestEntry("BAD.TGA", Bytes("not a targa"), 20)});

  Select(0);  // decoder refuses: its message only, as an error
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  dialogs_.Clear();

  Select(1);  // unreadable: the reader's message, then "ShowMTS: Error"
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[1].icon, MessageIcon::None);
  EXPECT_EQ(dialogs_.messages[1].caption, "Kestrel");
  EXPECT_EQ(dialogs_.messages[1].text, "ShowMTS: Error");
  dialogs_.Clear();

  Select(2);  // the texture loader's own message; the extracted file is gone again
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].caption, "TGA File Error");
  EXPECT_TRUE(std::filesystem::is_empty(Path("scratch")));
  EXPECT_TRUE(W().StatusBar->currentMessage().isEmpty());
  EXPECT_EQ(W().MeshView().MeshLists.size(), 1u);
  EXPECT_EQ(W().MeshView().CurrentMeshEntry, 2);
}

TEST_F(MeshCommandsTest, WithThePreviewSwitchedOffAMeshIsNotEvenRead) {
  WriteIni("ShowMTSPreview=0\n");
  Open({TestEntry("GOOD.MTS", RichMesh().Bytes(MeshLayout::MTS410), 17), TestEntry("BROKEN.MTS", Broken(), 17)});
  Select(1);
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_TRUE(W().ExportSingleVRMLFile1->isEnabled());
  EXPECT_EQ(W().MeshView().CurrentMeshEntry, 1);
  Select(0);
  EXPECT_TRUE(W().MeshView().MeshLists.empty());

  // The export still works on the mesh selected.
  Answer("good.wrl");
  W().ExportSingleVRMLFile1->trigger();
  EXPECT_TRUE(std::filesystem::exists(Path("good.wrl")));
}

}  // namespace
}  // namespace kestrel::studio::testing
