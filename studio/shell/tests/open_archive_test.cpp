// Opening archives: every outcome with its message, titles, the read-only medium, the command line.
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <filesystem>

#include "archive/testing/unprivileged.h"
#include "studio/shell/archive_tree_model.h"
#include "studio/qt_common/studio_application.h"
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

class OpenArchiveTest : public StudioTest {
 protected:
  // Hidden commands are disabled too; the developer's menu shows all of them.
  void SetUp() override {
    StudioTest::SetUp();
    WriteIni("IsDeveloper=1\n");
  }
  std::string Good(const std::string& name = "GOOD.MAS") {
    return WriteArchive(name, ArchiveOf({TestEntry("CAR.MTS", Bytes("mesh"), 17), TestEntry("SKY.BMP", Bytes("bmp"), 18)}));
  }
  void ExpectOpen(TFKestrel& w, const std::string& path, const QString& title) {
    EXPECT_EQ(w.State().ArchivePath, path);
    EXPECT_EQ(w.windowTitle(), title);
    EXPECT_EQ(ApplicationTitle(), title);
    EXPECT_TRUE(w.AddafiletothisMASfile1->isEnabled());
    EXPECT_TRUE(w.RollallMTSObjectsinoneVRMLFile1->isEnabled());
    EXPECT_FALSE(w.Exportnonimagefile1->isEnabled());
    EXPECT_FALSE(w.RemoveselecteditemfromthisMASfile1->isEnabled());
    EXPECT_EQ(w.TreeModel()->rowCount(), 1);
    EXPECT_EQ(w.Recent().Items().value(0), QString::fromStdString(path));
  }
  void ExpectNothingOpen(TFKestrel& w) {
    EXPECT_FALSE(w.State().IsOpen());
    EXPECT_TRUE(w.State().Table.empty());
    EXPECT_EQ(w.windowTitle(), "Kestrel");
    EXPECT_EQ(ApplicationTitle(), "Kestrel");
    EXPECT_FALSE(w.AddafiletothisMASfile1->isEnabled());
    EXPECT_FALSE(w.RollallMTSObjectsinoneVRMLFile1->isEnabled());
    EXPECT_EQ(w.TreeModel()->rowCount(), 0);
  }
};

TEST_F(OpenArchiveTest, CommandLineArchiveOpensAtStart) {
  const std::string path = Good();
  TFKestrel& w = Start(QString::fromStdString(path));
  ExpectOpen(w, path, "Kestrel - [ GOOD.MAS ]");
  EXPECT_EQ(w.Settings().MASInitialDir.toStdString(), dir_.Path());
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(OpenArchiveTest, OpenDialogStartsInTheLastArchiveFolderAndOpensTheChoice) {
  const std::string path = Good();
  WriteIni("MASInitialDir=/somewhere/else\n");
  TFKestrel& w = Start();
  dialogs_.fileAnswers = {QString(), QString::fromStdString(path)};
  w.Open1->trigger();  // cancelled
  EXPECT_FALSE(w.State().IsOpen());
  w.Open1->trigger();
  ASSERT_EQ(dialogs_.fileRequests.size(), 2u);
  const FileDialogRequest& request = dialogs_.fileRequests[0];
  EXPECT_EQ(request.objectName, "ODMAS");
  EXPECT_EQ(request.title, "Open a MAS File");
  EXPECT_EQ(request.filter, "MAS Files|*.MAS");
  EXPECT_EQ(request.startDirectory, "/somewhere/else");
  ExpectOpen(w, path, "Kestrel - [ GOOD.MAS ]");
  EXPECT_EQ(dialogs_.fileRequests[1].startDirectory, "/somewhere/else");
  w.Open1->trigger();  // the next dialog starts where the archive was
  EXPECT_EQ(dialogs_.fileRequests[2].startDirectory.toStdString(), dir_.Path());
}

TEST_F(OpenArchiveTest, RelativePathIsKeptAsAFullPath) {
  Good();
  const QString before = QDir::currentPath();
  QDir::setCurrent(QString::fromStdString(dir_.Path()));
  TFKestrel& w = Start(QStringLiteral("GOOD.MAS"));
  QDir::setCurrent(before);
  EXPECT_EQ(w.State().ArchivePath, Path("GOOD.MAS"));
}

struct BadOpen {
  const char* name;
  std::function<void(const std::string& path)> make;
  const char* message;  // empty: the file is not there, which is said, and the open archive stays
};

const BadOpen kBadOpens[] = {
    {"missing file", [](const std::string&) {}, ""},
    {"ten bytes",
     [](const std::string& p) { kestrel::testing::WriteFileBytes(p, kestrel::testing::BytesOf("CUBEMAS4.1")); },
     "Unable to open file to read header. This file is probably not a valid F1-2002 MAS file. (Error #100)"},
    {"old magic",
     [](const std::string& p) {
       kestrel::testing::OldTestArchive({TestEntry("A.BMP", kestrel::testing::BytesOf("x"), 2)}).WriteTo(p);
     },
     "This is not a valid CUBEMAS 4.10 MAS file."},
    {"lower-case magic",
     [](const std::string& p) {
       TestArchive a;
       a.Magic = "cubemas4.10";
       a.WriteTo(p);
     },
     "This is not a valid CUBEMAS 4.10 MAS file."},
    {"table cut short",
     [](const std::string& p) {
       TestArchive a;
       a.Entries = {TestEntry("A.BMP", kestrel::testing::BytesOf("x")), TestEntry("B.BMP", kestrel::testing::BytesOf("y"))};
       a.TruncateTo = 24 + 256 + 100;
       a.WriteTo(p);
     },
     "Unable to read the table of contents. This file is probably not a valid F1-2002 MAS file. (Error #100)"},
    {"count far beyond the file",
     [](const std::string& p) {
       TestArchive a;
       a.FileCount = 0xFFFFFFFFu;
       a.WriteTo(p);
     },
     "Unable to read the table of contents. This file is probably not a valid F1-2002 MAS file. (Error #100)"},
};

TEST_F(OpenArchiveTest, EveryFailedOpenSaysWhyAndLeavesNoArchiveOpen) {
  const std::string good = Good();
  TFKestrel& w = Start();
  for (const BadOpen& bad : kBadOpens) {
    SCOPED_TRACE(bad.name);
    w.OpenArchive(QString::fromStdString(good));
    ASSERT_TRUE(w.State().IsOpen());
    dialogs_.Clear();
    const std::string path = Path(std::string(bad.name) + ".MAS");
    bad.make(path);
    w.OpenArchive(QString::fromStdString(path));
    if (!*bad.message) {
      ASSERT_EQ(dialogs_.messages.size(), 1u);
      EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
      EXPECT_EQ(dialogs_.messages[0].text, MissingArchiveMessage(QString::fromStdString(path)));
      ExpectOpen(w, good, "Kestrel - [ GOOD.MAS ]");
      continue;
    }
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(dialogs_.messages[0].caption, "Kestrel");
    EXPECT_EQ(dialogs_.messages[0].text, bad.message);
    ExpectNothingOpen(w);
    EXPECT_FALSE(w.Recent().Items().contains(QString::fromStdString(path)));
  }
}

TEST_F(OpenArchiveTest, MagicNeedsOnlyItsFirstElevenCharacters) {
  TestArchive archive = ArchiveOf({TestEntry("A.BMP", Bytes("x"))});
  archive.Magic = "CUBEMAS4.10WXYZ";
  const std::string path = WriteArchive("ODD.MAS", archive);
  TFKestrel& w = Start(QString::fromStdString(path));
  ExpectOpen(w, path, "Kestrel - [ ODD.MAS ]");
}

TEST_F(OpenArchiveTest, EmptyArchiveOpensWithNoFiles) {
  WriteIni("DumpTOC=1\n");
  const std::string path = WriteArchive("EMPTY.MAS", TestArchive{});
  TFKestrel& w = Start(QString::fromStdString(path));
  EXPECT_TRUE(w.State().IsOpen());
  EXPECT_EQ(w.TreeModel()->NumFilesNode().data().toString(), "Num files: 0");
  EXPECT_EQ(w.State().DataStart, 24);
  EXPECT_FALSE(std::filesystem::exists(Path("EMPTY.log")));
}

TEST_F(OpenArchiveTest, ReadOnlyMediumWarnsOpensAndKeepsImportsOff) {
  read_only_ = true;
  const std::string path = Good();
  TFKestrel& w = Start(QString::fromStdString(path));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Warning);
  EXPECT_EQ(dialogs_.messages[0].text,
            "This file appears to be on a read-only medium (like a CD-ROM) \r\nso importing is not possible and will "
            "be disabled.");
  ExpectOpen(w, path, "Kestrel - [ GOOD.MAS ]");
  EXPECT_TRUE(w.State().ReadOnlyMedium);
  w.ShowEntry(0);  // a mesh: export yes, import no
  EXPECT_TRUE(w.Exportnonimagefile1->isEnabled());
  EXPECT_FALSE(w.Importnonimagefile1->isEnabled());
  EXPECT_TRUE(w.RemoveselecteditemfromthisMASfile1->isEnabled());
}

TEST_F(OpenArchiveTest, ReadOnlyWarningCanBeSilenced) {
  read_only_ = true;
  WriteIni("ShowReadOnlyNotification=0\n");
  TFKestrel& w = Start(QString::fromStdString(Good()));
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_TRUE(w.State().ReadOnlyMedium);
}

TEST_F(OpenArchiveTest, ArchiveWithoutWritePermissionCountsAsReadOnly) {
  const std::string path = Good();
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  kestrel::testing::OpenToEveryone(dir_.Path());
  StudioEnvironment environment = Environment(QString::fromStdString(path));
  // Permission bits do not stop root: the question is asked as an ordinary user.
  environment.canWrite = [](const std::string& file) {
    kestrel::testing::UnprivilegedScope user;
    return CanOpenForWriting(file);
  };
  TFKestrel w(dialogs_, environment);
  EXPECT_TRUE(w.State().ReadOnlyMedium);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0444u);  // the studio never changes permissions
}

TEST_F(OpenArchiveTest, ANewArchiveStartsWithNothingSelectedAndAReloadKeepsTheSelection) {
  const std::string a = Good("A.MAS");
  const std::string b = Good("B.MAS");
  RecordingWindow& w = Start(QString::fromStdString(a));
  w.MASTreeNT->setCurrentIndex(w.TreeModel()->EntryNode(0));
  ASSERT_EQ(w.State().SelectedEntry, 1);
  w.OpenArchive(QString::fromStdString(a));  // the reload after an edit
  EXPECT_EQ(w.State().SelectedEntry, 1);
  w.OpenArchive(QString::fromStdString(b));
  EXPECT_EQ(w.State().SelectedEntry, 0);
  w.previews.clear();
  w.MASTreeNT->setCurrentIndex(w.TreeModel()->EntryNode(0));
  EXPECT_EQ(w.previews, (std::vector<std::pair<char, int>>{{'M', 0}}));
}

}  // namespace
}  // namespace kestrel::studio::testing
