// Editing the open archive from the studio: export, import, add and remove, their dialogs and the
// states they leave.
#include <QApplication>
#include <QTreeView>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "archive/archive_editing.h"
#include "archive/archive_reader.h"
#include "archive/file_replacement.h"
#include "archive/testing/edited_entries.h"
#include "archive/testing/unprivileged.h"
#include "studio/image/testing/image_writers.h"
#include "studio/preview/image_view.h"
#include "studio/shell/archive_tree_model.h"
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

using kestrel::testing::Encoded;
using kestrel::testing::Entry;
using kestrel::testing::NoiseBytes;
using kestrel::testing::ReadFileBytes;
using kestrel::testing::WriteFileBytes;

class EditingTest : public StudioTest {
 protected:
  // Table order: CAR.MTS, SKY.BMP, WALK.ANM, NOTES.
  static TestArchive Track() {
    return ArchiveOf({Entry("CAR.MTS", Bytes(std::string(400, 'm')), 17, 11),
                      Entry("SKY.BMP", NoiseBytes(300, 1), 18, 12), Entry("WALK.ANM", Bytes("walk"), 31, 13),
                      Entry("NOTES", Bytes("notes"), 5, 14)});
  }
  RecordingWindow& StartWith(const TestArchive& archive) {
    return Start(QString::fromStdString(WriteArchive("TRACK.MAS", archive)));
  }
  // Which of the four edit commands are enabled, in menu order: export, import, add, remove.
  std::string EditCommands() {
    std::string states;
    for (QAction* a : {W().Exportnonimagefile1, W().Importnonimagefile1, W().AddafiletothisMASfile1,
                       W().RemoveselecteditemfromthisMASfile1})
      states += a->isEnabled() ? '1' : '0';
    return states;
  }
  std::vector<uint8_t> ArchiveBytes() { return ReadFileBytes(Path("TRACK.MAS")); }
};

TEST_F(EditingTest, ExportProposesTheEntryWithAFilterByTypeAndRemembersTheFolder) {
  WriteIni("BMPInitialDir=/start/here\n");
  StartWith(Track());
  std::filesystem::create_directory(Path("out"));
  struct Case {
    int entry;
    const char* filter;
    const char* title;
    const char* suffix;
  } cases[] = {
      {0, "MTS Files (*.MTS)|*.MTS", "Save a MTS File", "mts"},
      {2, "ANM Files (*.ANM)|*.ANM", "Save a ANM File", "anm"},
      {3, "All Files (*.*)|*.*", "Save a File", ""},
  };
  QString start = "/start/here";
  for (const Case& c : cases) {
    Select(c.entry);
    dialogs_.fileAnswers = {QPath("out/copy" + std::to_string(c.entry))};
    W().Exportnonimagefile1->trigger();
    ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
    const FileDialogRequest& r = dialogs_.fileRequests[0];
    EXPECT_EQ(r.objectName, "SDOtherFile");
    EXPECT_EQ(r.filter, c.filter);
    EXPECT_EQ(r.title, c.title);
    EXPECT_EQ(r.defaultSuffix, c.suffix);
    EXPECT_EQ(r.proposedName, QString::fromStdString(Track().Entries[c.entry].Name));
    EXPECT_EQ(r.startDirectory, start);
    EXPECT_EQ(ReadFileBytes(Path("out/copy" + std::to_string(c.entry))), Track().Entries[c.entry].Data);
    start = QPath("out");
    EXPECT_EQ(W().Settings().BMPInitialDir, start);
    dialogs_.Clear();
  }

  // The open archive itself is never replaced by one of its entries.
  dialogs_.fileAnswers = {QPath("TRACK.MAS")};
  W().Exportnonimagefile1->trigger();
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(dialogs_.messages[0].text, "This is the open MAS file itself; choose another file to export to.");
  EXPECT_EQ(ArchiveBytes(), Track().Build());
}

TEST_F(EditingTest, ImportReplacesTheEntrySelectsTheSameNodeAndDoesNotShowItAgain) {
  WriteIni("BMPInitialDir=/start/here\n");
  RecordingWindow& w = StartWith(Track());
  const ArchiveTreeModel* m = w.TreeModel();
  w.MASTreeNT->setCurrentIndex(m->DetailNode(0, 3));  // "Compressed : " of CAR.MTS
  ASSERT_EQ(w.previews.size(), 1u);
  const std::vector<uint8_t> mesh = Bytes(std::string(3000, 'n'));
  WriteFileBytes(Path("new.mts"), mesh);

  dialogs_.fileAnswers = {QPath("new.mts")};
  dialogs_.filterAnswers = {1};
  w.Importnonimagefile1->trigger();

  ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
  const FileDialogRequest& r = dialogs_.fileRequests[0];
  EXPECT_EQ(r.objectName, "ODOtherFile");
  EXPECT_EQ(r.title, "Load from File");
  EXPECT_EQ(r.filter, "MTS Files (*.MTS)|*.MTS|ANM Files (*.ANM)|*.ANM|All Files (*.*)|*.*");
  EXPECT_EQ(r.selectedFilter, 0);
  EXPECT_EQ(r.startDirectory, "/start/here");
  EXPECT_EQ(r.proposedName, "CAR.MTS");

  TestArchive expected = Track();
  expected.Entries[0] = Encoded("CAR.MTS", mesh, 17, 11);
  EXPECT_EQ(ArchiveBytes(), expected.Build());
  EXPECT_EQ(w.State().Table[0].UncompressedSize, 3000);
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(w.Settings().BMPInitialDir, QString::fromStdString(dir_.Path()));

  // The same detail line is selected and expanded; the entry is not shown again.
  EXPECT_EQ(w.MASTreeNT->currentIndex(), m->DetailNode(0, 3));
  EXPECT_EQ(w.MASTreeNT->currentIndex().data().toString(),
            QStringLiteral("Compressed : %1").arg(w.State().Table[0].CompressedSize));
  EXPECT_TRUE(w.MASTreeNT->isExpanded(m->NumFilesNode()));
  EXPECT_TRUE(w.MASTreeNT->isExpanded(m->GroupNode(0)));
  EXPECT_EQ(w.State().SelectedEntry, 1);
  EXPECT_EQ(w.previews.size(), 1u);
  EXPECT_EQ(EditCommands(), "1111");

  // The next import starts with the filter chosen last time. A file that cannot be read reaches
  // the error dialog for unhandled errors; the busy cursor ends with the command all the same.
  dialogs_.Clear();
  Select(2);
  dialogs_.fileAnswers = {QPath("missing.anm")};
  w.Importnonimagefile1->trigger();
  ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
  EXPECT_EQ(dialogs_.fileRequests[0].selectedFilter, 1);
  EXPECT_EQ(dialogs_.applicationErrors.size(), 1u);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(ArchiveBytes(), expected.Build());
}

TEST_F(EditingTest, AddAppendsAnUpperCasedEntryLeavesNothingSelectedAndRewritesTheListing) {
  WriteIni("DumpTOC=1\n");
  RecordingWindow& w = StartWith(Track());
  Select(1);
  std::filesystem::create_directory(Path("in"));
  WriteFileBytes(Path("in/readme.txt"), Bytes("read me"));

  dialogs_.fileAnswers = {QPath("in/readme.txt")};
  w.AddafiletothisMASfile1->trigger();

  ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
  const FileDialogRequest& r = dialogs_.fileRequests[0];
  EXPECT_EQ(r.objectName, "ODAddFile");
  EXPECT_EQ(r.title, "");
  EXPECT_EQ(r.filter,
            "All Supported|*.BMP;*.MTS;*.ANM;*.TGA|BMP Files (*.BMP)|*.BMP|MTS Files (*.MTS)|*.MTS|ANM Files "
            "(*.ANM)|*.ANM|TGA Files (*.TGA)|*.TGA|All Files|*.*");
  TestArchive expected = Track();
  expected.Entries.push_back(Encoded("README.TXT", Bytes("read me"), 31, 0));
  EXPECT_EQ(ArchiveBytes(), expected.Build());
  EXPECT_EQ(w.State().SelectedEntry, 5);  // the new entry
  EXPECT_EQ(EditCommands(), "1111");
  EXPECT_EQ(w.Settings().BMPInitialDir, QPath("in"));
  EXPECT_NE(kestrel::testing::ReadFileText(Path("TRACK.log")).find("README.TXT"), std::string::npos);
  EXPECT_EQ(w.TreeModel()->NumFilesNode().data().toString(), "Num files: 5");

  // The same name again gives a second entry of that name.
  dialogs_.fileAnswers = {QPath("in/readme.txt")};
  w.AddafiletothisMASfile1->trigger();
  expected.Entries.push_back(Encoded("README.TXT", Bytes("read me"), 31, 0));
  EXPECT_EQ(ArchiveBytes(), expected.Build());
}

TEST_F(EditingTest, RemoveAsksFirstAndOnlyYesRemoves) {
  RecordingWindow& w =
      StartWith(ArchiveOf({Entry("CAR.MTS", Bytes("mesh"), 17, 1), Entry("WALK.ANM", Bytes("walk"), 31, 2)}));
  const std::vector<uint8_t> before = ArchiveBytes();
  Select(1);
  dialogs_.yesNoAnswers = {false};
  w.RemoveselecteditemfromthisMASfile1->trigger();
  ASSERT_EQ(dialogs_.questions.size(), 1u);
  EXPECT_EQ(dialogs_.questions[0].caption, "Kestrel");
  EXPECT_EQ(dialogs_.questions[0].text, "Are you sure you want to remove WALK.ANM");
  EXPECT_EQ(ArchiveBytes(), before);
  EXPECT_EQ(EditCommands(), "1111");

  dialogs_.yesNoAnswers = {true};
  w.RemoveselecteditemfromthisMASfile1->trigger();
  EXPECT_EQ(ArchiveBytes(), ArchiveOf({Entry("CAR.MTS", Bytes("mesh"), 17, 1)}).Build());
  EXPECT_EQ(w.State().SelectedEntry, -1);
  EXPECT_EQ(EditCommands(), "0010");
  Select(0);  // a single entry is never removable
  EXPECT_EQ(EditCommands(), "1110");
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(EditingTest, ReadOnlyArchiveIsRefusedWithTheFileErrorAndStaysOpenAsItWas) {
  read_only_ = true;
  WriteIni("ShowReadOnlyNotification=0\n");
  RecordingWindow& w = StartWith(Track());
  const std::vector<uint8_t> before = ArchiveBytes();
  EXPECT_TRUE(w.AddafiletothisMASfile1->isEnabled());
  WriteFileBytes(Path("x.bmp"), Bytes("x"));

  dialogs_.fileAnswers = {QPath("x.bmp")};
  w.AddafiletothisMASfile1->trigger();
  Select(1);
  dialogs_.yesNoAnswers = {true};
  w.RemoveselecteditemfromthisMASfile1->trigger();

  ASSERT_EQ(dialogs_.messages.size(), 2u);
  for (const ShownMessage& m : dialogs_.messages) {
    EXPECT_EQ(m.icon, MessageIcon::Error);
    EXPECT_EQ(m.text, QStringLiteral("File access denied: %1 is read-only.").arg(QPath("TRACK.MAS")));
  }
  EXPECT_EQ(ArchiveBytes(), before);
  EXPECT_EQ(w.TreeModel()->NumFilesNode().data().toString(), "Num files: 4");
  EXPECT_EQ(w.State().SelectedEntry, 2);  // the selection stays
  EXPECT_EQ(EditCommands(), "0011");
  EXPECT_EQ(kestrel::testing::NamesIn(dir_.Path()).count("TRACK.MAS"), 1u);
}

TEST_F(EditingTest, AFailedEditOnAReadOnlyArchiveSaysSoOnceNamingTheFileOrItsFolder) {
  WriteFileBytes(Path("x.anm"), Bytes("x"));
  // The read-only file, found at the open: its warning then, and one message for the edit.
  read_only_ = true;
  RecordingWindow& w = StartWith(Track());
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Warning);
  dialogs_.Clear();
  dialogs_.fileAnswers = {QPath("x.anm")};
  w.AddafiletothisMASfile1->trigger();
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(dialogs_.messages[0].text, QStringLiteral("File access denied: %1 is read-only.").arg(QPath("TRACK.MAS")));
  End();

  // A writable archive in a folder that is not: the folder is named.
  read_only_ = false;
  std::filesystem::create_directory(Path("disc"));
  const std::string archive = Path("disc/TRACK.MAS");
  Track().WriteTo(archive);
  ASSERT_EQ(::chmod(archive.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(Path("disc").c_str(), 0555), 0);
  ASSERT_EQ(::chmod(Path("x.anm").c_str(), 0644), 0);
  kestrel::testing::OpenToEveryone(dir_.Path());
  dialogs_.Clear();
  RecordingWindow& v = Start(QString::fromStdString(archive));
  {
    kestrel::testing::UnprivilegedScope user;  // permission bits do not stop root
    dialogs_.fileAnswers = {QPath("x.anm")};
    v.AddafiletothisMASfile1->trigger();
  }
  ASSERT_EQ(::chmod(Path("disc").c_str(), 0755), 0);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text,
            QStringLiteral("File access denied: the folder %1 is read-only, so %2 cannot be rewritten.")
                .arg(QPath("disc"), QPath("disc/TRACK.MAS")));
  EXPECT_EQ(ReadFileBytes(archive), Track().Build());
}

// What each edit leaves: the selection, the open groups, the commands and what the views show.
TEST_F(EditingTest, AfterEachEditTheCommandsFollowTheSelectionAndTheTreeKeepsItsShape) {
  WriteIni("IsDeveloper=1\n");
  const auto picture = [](uint32_t argb) { return kestrel::testing::SolidBmp(argb, 3, 2); };
  WriteFileBytes(Path("new.mts"), Bytes("mesh bytes"));
  WriteFileBytes(Path("new.bmp"), picture(0xFF00FF00u));
  WriteFileBytes(Path("added.bmp"), picture(0xFF0000FFu));
  struct Case {
    const char* name;
    int select;              // table entry selected before the edit
    std::function<void(RecordingWindow&)> edit;
    int selectedAfter;       // table entry selected afterwards, -1 none
    // Export image, import image, export and import non-image, add, remove, zoom in, single VRML,
    // roll all.
    const char* commands;
    bool pictureShown;
  };
  const Case cases[] = {
      {"import a mesh", 0, [&](RecordingWindow& w) { dialogs_.fileAnswers = {QPath("new.mts")}; w.Importnonimagefile1->trigger(); },
       0, "001111011", false},
      {"import a picture", 1, [&](RecordingWindow& w) { dialogs_.fileAnswers = {QPath("new.bmp")}; w.Importimagefromfile1->trigger(); },
       1, "110011101", true},
      {"add a picture", 0, [&](RecordingWindow& w) { dialogs_.fileAnswers = {QPath("added.bmp")}; w.AddafiletothisMASfile1->trigger(); },
       4, "110011101", true},
      {"remove", 2, [&](RecordingWindow& w) { dialogs_.yesNoAnswers = {true}; w.RemoveselecteditemfromthisMASfile1->trigger(); },
       -1, "000010001", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestArchive track = Track();
    track.Entries[1] = Entry("SKY.BMP", kestrel::testing::SolidBmp(0xFFFF0000u, 5, 5), 18, 12);
    RecordingWindow& w = StartWith(track);
    w.showImages = true;
    const ArchiveTreeModel* m = w.TreeModel();
    w.MASTreeNT->expand(m->NumFilesNode());
    w.MASTreeNT->expand(m->GroupNode(2));  // ANM
    w.MASTreeNT->expand(m->GroupNode(5));  // other files
    Select(c.select);
    c.edit(w);
    EXPECT_TRUE(dialogs_.messages.empty()) << dialogs_.messages.front().text.toStdString();

    EXPECT_TRUE(w.MASTreeNT->isExpanded(m->NumFilesNode()));
    EXPECT_TRUE(w.MASTreeNT->isExpanded(m->GroupNode(5)));
    if (c.selectedAfter >= 0) {
      EXPECT_EQ(w.MASTreeNT->currentIndex(), m->EntryNode(c.selectedAfter));
      EXPECT_EQ(w.State().SelectedEntry, c.selectedAfter + 1);
      EXPECT_TRUE(w.MASTreeNT->isExpanded(m->EntryNode(c.selectedAfter).parent()));  // visible
    } else {
      EXPECT_FALSE(w.MASTreeNT->currentIndex().isValid());
    }
    std::string commands;
    for (QAction* a : {w.Exportimagetofile1, w.Importimagefromfile1, w.Exportnonimagefile1, w.Importnonimagefile1,
                       w.AddafiletothisMASfile1, w.RemoveselecteditemfromthisMASfile1, w.TBZoomIn,
                       w.ExportSingleVRMLFile1, w.RollallMTSObjectsinoneVRMLFile1})
      commands += a->isEnabled() ? '1' : '0';
    EXPECT_EQ(commands, c.commands);
    EXPECT_EQ(w.MASImgView->HasImage(), c.pictureShown);
    if (c.pictureShown) {
      EXPECT_FALSE(w.MASImgView->isHidden());
      EXPECT_EQ(w.MASImgView->Image().size(), QSize(3, 2));  // the new picture, not the old one
    }
    End();
    dialogs_.Clear();
  }
}

TEST_F(EditingTest, AddStoresTheNameInTheGamesCodePageAndRefusesNamesItCannotHold) {
  RecordingWindow& w = StartWith(Track());
  WriteFileBytes(Path("caf\u00e9 gr\u00fcn.tga"), Bytes("tga"));
  WriteFileBytes(Path("\u043a\u043e\u0442.tga"), Bytes("cat"));
  dialogs_.fileAnswers = {QPath("caf\u00e9 gr\u00fcn.tga")};
  w.AddafiletothisMASfile1->trigger();
  EXPECT_TRUE(dialogs_.messages.empty());
  ASSERT_EQ(w.State().FileCount(), 5);
  EXPECT_EQ(w.State().Table[4].Name(), "CAF\xE9 GR\xFCN.TGA");
  EXPECT_EQ(w.TreeModel()->EntryNode(4).data().toString(), QStringLiteral("CAF\u00e9 GR\u00fcN.TGA"));
  EXPECT_EQ(w.FindEntryByName(QStringLiteral("caf\u00c9 GR\u00fcn.tga")), -1);  // only a to z ignore case
  EXPECT_EQ(w.FindEntryByName(QStringLiteral("caf\u00e9 gr\u00fcn.tga")), 4);

  const std::vector<uint8_t> before = ArchiveBytes();
  dialogs_.fileAnswers = {QPath("\u043a\u043e\u0442.tga")};
  w.AddafiletothisMASfile1->trigger();
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  EXPECT_TRUE(dialogs_.messages[0].text.contains(QStringLiteral("\u043a\u043e\u0442.tga")))
      << dialogs_.messages[0].text.toStdString();
  EXPECT_EQ(ArchiveBytes(), before);

  // Messages and proposed file names show the name as text.
  dialogs_.Clear();
  Select(4);
  dialogs_.yesNoAnswers = {false};
  w.RemoveselecteditemfromthisMASfile1->trigger();
  ASSERT_EQ(dialogs_.questions.size(), 1u);
  EXPECT_EQ(dialogs_.questions[0].text, QStringLiteral("Are you sure you want to remove CAF\u00e9 GR\u00fcN.TGA"));
  w.Exportimagetofile1->setEnabled(true);
  w.Exportimagetofile1->trigger();
  ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
  EXPECT_EQ(dialogs_.fileRequests[0].proposedName, QStringLiteral("CAF\u00e9 GR\u00fcN.TGA"));
}

TEST_F(EditingTest, FailedRewriteReopensFromDiskAndShowsTheError) {
  // A gap before WALK.ANM: the rewrites would move it wrongly, so they refuse.
  TestArchive gap = Track();
  gap.Entries[2].Offset = 10000;
  RecordingWindow& w = StartWith(gap);
  Select(1);
  dialogs_.yesNoAnswers = {true};
  w.RemoveselecteditemfromthisMASfile1->trigger();
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  EXPECT_TRUE(dialogs_.messages[0].text.contains("cannot be edited safely")) << dialogs_.messages[0].text.toStdString();
  EXPECT_EQ(ArchiveBytes(), gap.Build());

  // A rename that fails after the new archive was written: the old one stays, and so does the state.
  WriteArchive("TRACK.MAS", Track());
  w.OpenArchive(QPath("TRACK.MAS"));
  dialogs_.Clear();
  const RenameFunction previous = SetRenameFunctionForTesting([](const char*, const char*) {
    errno = EXDEV;
    return -1;
  });
  WriteFileBytes(Path("x.anm"), Bytes("x"));
  dialogs_.fileAnswers = {QPath("x.anm")};
  w.AddafiletothisMASfile1->trigger();
  SetRenameFunctionForTesting(previous);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(ArchiveBytes(), Track().Build());
  const LoadedArchive onDisk = ReadArchiveTable(Path("TRACK.MAS"));
  EXPECT_EQ(w.State().FileCount(), 4);
  EXPECT_EQ(w.State().FileLength, onDisk.FileLength);
  EXPECT_EQ(kestrel::testing::NamesIn(dir_.Path()).count("TRACK.MAS"), 1u);
}

}  // namespace
}  // namespace kestrel::studio::testing
