// The window as an archive manager: the filter over the tree, several entries at once, extraction
// into a folder with its questions, removal of several entries, closing and reloading.
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QContextMenuEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <filesystem>

#include "archive/testing/edited_entries.h"
#include "studio/shell/archive_tree_model.h"
#include "studio/shell/entry_filter.h"
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

using kestrel::testing::Entry;
using kestrel::testing::NamesIn;
using kestrel::testing::NoiseBytes;
using kestrel::testing::ReadFileBytes;
using kestrel::testing::WriteFileBytes;

TEST(EntryFilter, NameHoldsTextOrWildcardPattern) {
  struct Case {
    const char* name;
    const char* pattern;
    bool holds;
  } cases[] = {
      {"car_body.mts", "", true},         {"car_body.mts", "body", true},   {"car_body.mts", "bodies", false},
      {"car_body.mts", "car*.mts", true}, {"car_body.mts", "c?r", true},    {"car_body.mts", "c??r", false},
      {"car_body.mts", "*", true},        {"car_body.mts", "b*y.m", true},  {"car_body.mts", "y*b", false},
      {"aab", "a*ab", true},              {"abc", "?", true},               {"", "?", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(NameHoldsPattern(QString::fromLatin1(c.name), QString::fromLatin1(c.pattern)), c.holds)
        << c.name << " / " << c.pattern;
}

class ArchiveManagerTest : public StudioTest {
 protected:
  // Table order: CAR.MTS, CARWHEEL.MTS, SKY.BMP, SKYLINE.BMP, WALK.ANM.
  static TestArchive Track() {
    return ArchiveOf({Entry("CAR.MTS", Bytes(std::string(400, 'm')), 17, 1), Entry("CARWHEEL.MTS", Bytes("wheel"), 17, 2),
                      Entry("SKY.BMP", NoiseBytes(300, 1), 18, 3), Entry("SKYLINE.BMP", NoiseBytes(200, 2), 18, 4),
                      Entry("WALK.ANM", Bytes("walk"), 31, 5)});
  }
  RecordingWindow& StartWith(const TestArchive& archive, const std::string& name = "TRACK.MAS") {
    RecordingWindow& w = Start(QString::fromStdString(WriteArchive(name, archive)));
    w.show();
    return w;
  }
  ArchiveTreeModel* Model() { return W().TreeModel(); }
  // The entries the tree shows, group by group.
  std::vector<std::string> Shown() {
    std::vector<std::string> names;
    for (int entry : Model()->VisibleEntries()) names.push_back(W().State().Table[static_cast<size_t>(entry)].Name());
    return names;
  }
  void SelectEntries(const std::vector<int>& entries) {
    QItemSelection selection;
    for (int entry : entries) selection.select(Model()->EntryNode(entry), Model()->EntryNode(entry));
    W().MASTreeNT->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  }
  std::string MakeFolder(const std::string& name) {
    std::filesystem::create_directory(Path(name));
    return Path(name);
  }
  std::string Read(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
  }
};

TEST_F(ArchiveManagerTest, FilterNarrowsTheGroupsCountsMatchesAndKeepsExpansionAndTheArchiveCount) {
  RecordingWindow& w = StartWith(Track());
  w.MASTreeNT->expand(Model()->NumFilesNode());
  w.MASTreeNT->expand(Model()->GroupNode(1));
  w.EntryFilter->setText("sky");
  EXPECT_EQ(Shown(), (std::vector<std::string>{"SKY.BMP", "SKYLINE.BMP"}));
  EXPECT_EQ(Model()->GroupNode(0).data().toString(), "MTS Files (0)");
  EXPECT_EQ(Model()->GroupNode(1).data().toString(), "BMP Files (2)");
  EXPECT_EQ(Model()->NumFilesNode().data().toString(), "Num files: 5");
  EXPECT_TRUE(w.MASTreeNT->isExpanded(Model()->GroupNode(1)));
  EXPECT_FALSE(Model()->EntryNode(0).isValid());

  w.EntryFilter->setText("c*l.mts");
  EXPECT_EQ(Shown(), (std::vector<std::string>{"CARWHEEL.MTS"}));
  EXPECT_TRUE(w.MASTreeNT->isExpanded(Model()->GroupNode(0)));  // a group with matches opens
  EXPECT_FALSE(w.MASTreeNT->isExpanded(Model()->GroupNode(2)));
  w.EntryFilter->setText("?");
  EXPECT_EQ(Shown().size(), 5u);
  EXPECT_EQ(Model()->GroupNode(0).data().toString(), "MTS Files (2)");
  w.EntryFilter->clear();
  EXPECT_EQ(Model()->GroupNode(0).data().toString(), "MTS Files");
}

TEST_F(ArchiveManagerTest, CtrlFFocusesTheFilterAndEscapeClearsItAndReturnsToTheTree) {
  RecordingWindow& w = StartWith(Track());
  QApplication::setActiveWindow(&w);
  EXPECT_EQ(w.FilterEntries1->shortcut(), QKeySequence(QKeySequence::Find));
  w.FilterEntries1->trigger();
  EXPECT_TRUE(w.EntryFilter->hasFocus());
  w.EntryFilter->setText("walk");
  EXPECT_EQ(Shown().size(), 1u);
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(w.EntryFilter, &escape);
  EXPECT_TRUE(w.EntryFilter->text().isEmpty());
  EXPECT_EQ(Shown().size(), 5u);
  EXPECT_EQ(QApplication::focusWidget(), w.MASTreeNT);
}

TEST_F(ArchiveManagerTest, FilterStaysThroughAnEditAndGoesWhenAnotherArchiveOpens) {
  RecordingWindow& w = StartWith(Track());
  w.EntryFilter->setText("sky");
  Select(2);
  dialogs_.yesNoAnswers = {true};
  w.RemoveselecteditemfromthisMASfile1->trigger();
  EXPECT_EQ(w.EntryFilter->text(), "sky");
  EXPECT_EQ(Shown(), (std::vector<std::string>{"SKYLINE.BMP"}));

  w.OpenArchive(QString::fromStdString(WriteArchive("OTHER.MAS", Track())));
  EXPECT_TRUE(w.EntryFilter->text().isEmpty());
  EXPECT_EQ(Shown().size(), 5u);
}

TEST_F(ArchiveManagerTest, SelectAllTakesTheEntriesShownAndDetailLinesCountForTheirEntry) {
  RecordingWindow& w = StartWith(Track());
  w.EntryFilter->setText("car");
  w.SelectAllEntries1->trigger();
  EXPECT_EQ(w.SelectedEntries(), (std::vector<int>{0, 1}));
  EXPECT_TRUE(w.ExtractSelected1->isEnabled());

  w.EntryFilter->clear();
  QItemSelection selection;
  selection.select(Model()->DetailNode(4, 2), Model()->DetailNode(4, 2));
  selection.select(Model()->EntryNode(4), Model()->EntryNode(4));
  selection.select(Model()->GroupNode(1), Model()->GroupNode(1));  // a caption is no entry
  w.MASTreeNT->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  EXPECT_EQ(w.SelectedEntries(), (std::vector<int>{4}));

  // The previews follow the current entry, whatever else is selected.
  w.previews.clear();
  w.MASTreeNT->selectionModel()->setCurrentIndex(Model()->EntryNode(2), QItemSelectionModel::Select);
  EXPECT_EQ(w.previews, (std::vector<std::pair<char, int>>{{'I', 2}}));
  EXPECT_EQ(w.SelectedEntries(), (std::vector<int>{2, 4}));
}

TEST_F(ArchiveManagerTest, ExtractSelectedAsksAboutEachClashAndNamesWhatItWrote) {
  RecordingWindow& w = StartWith(Track());
  const std::string out = MakeFolder("out");
  WriteFileBytes(out + "/CAR.MTS", Bytes("old car"));
  WriteFileBytes(out + "/SKY.BMP", Bytes("old sky"));
  WriteFileBytes(out + "/WALK.ANM", Bytes("old walk"));
  SelectEntries({0, 1, 2, 4});
  struct Case {
    std::vector<int> answers;  // Overwrite 0, Skip 1, Overwrite All 2, Cancel 3
    size_t questions;
    const char* car;
    const char* walk;
    const char* status;
  } cases[] = {
      {{3}, 1, "old car", "old walk", "Extraction cancelled; nothing was written%1"},
      {{1, 0, 1}, 3, "old car", "old walk", "Extracted 2 entries into %1; 2 skipped"},
      {{2}, 1, nullptr, "walk", "Extracted 4 entries into %1"},
  };
  for (const Case& c : cases) {
    dialogs_.Clear();
    dialogs_.choiceButtons.clear();
    dialogs_.folderAnswers = {QString::fromStdString(out)};
    dialogs_.choiceAnswers = {c.answers.begin(), c.answers.end()};
    w.ExtractSelected1->trigger();
    ASSERT_EQ(dialogs_.choiceButtons.size(), c.questions);
    EXPECT_EQ(dialogs_.choiceButtons[0], (QStringList{"Overwrite", "Skip", "Overwrite All", "Cancel"}));
    EXPECT_EQ(dialogs_.questions[1].text, QString("CAR.MTS already exists in %1. Overwrite it?").arg(out.c_str()));
    if (c.car) EXPECT_EQ(Read(out + "/CAR.MTS"), c.car);
    else EXPECT_EQ(Read(out + "/CAR.MTS"), std::string(400, 'm'));
    EXPECT_EQ(Read(out + "/WALK.ANM"), c.walk);
    EXPECT_EQ(w.StatusBar->currentMessage(), QString(c.status).arg(c.answers[0] == 3 ? "" : out.c_str()));
  }
  EXPECT_EQ(Read(out + "/CARWHEEL.MTS"), "wheel");
  EXPECT_EQ(NamesIn(out), (std::set<std::string>{"CAR.MTS", "CARWHEEL.MTS", "SKY.BMP", "WALK.ANM"}));
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(ArchiveManagerTest, ExtractAllWritesEveryEntryUpperCasedAndTwoOfOneNameAsk) {
  TestArchive archive = Track();
  archive.Entries.push_back(Entry("walk.anm", Bytes("second walk"), 31, 6));
  RecordingWindow& w = StartWith(archive);
  EXPECT_EQ(w.ExtractAll1->shortcut(), QKeySequence("Ctrl+Shift+E"));
  const std::string out = MakeFolder("all");
  dialogs_.folderAnswers = {QString::fromStdString(out)};
  dialogs_.choiceAnswers = {0};
  w.ExtractAll1->trigger();
  EXPECT_EQ(NamesIn(out), (std::set<std::string>{"CAR.MTS", "CARWHEEL.MTS", "SKY.BMP", "SKYLINE.BMP", "WALK.ANM"}));
  EXPECT_EQ(Read(out + "/WALK.ANM"), "second walk");
  EXPECT_EQ(dialogs_.choiceButtons.size(), 1u);

  // A cancelled folder dialog writes nothing.
  dialogs_.folderAnswers = {QString()};
  std::filesystem::remove_all(out);
  w.ExtractAll1->trigger();
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(ArchiveManagerTest, RemoveOfSeveralAsksOnceNamingHowManyAndRewritesOnce) {
  RecordingWindow& w = StartWith(Track());
  SelectEntries({1, 3, 4});
  EXPECT_TRUE(w.RemoveselecteditemfromthisMASfile1->isEnabled());
  EXPECT_EQ(w.RemoveselecteditemfromthisMASfile1->shortcut(), QKeySequence(QKeySequence::Delete));
  const std::vector<uint8_t> before = ReadFileBytes(Path("TRACK.MAS"));
  dialogs_.yesNoAnswers = {false};
  w.RemoveselecteditemfromthisMASfile1->trigger();
  ASSERT_EQ(dialogs_.questions.size(), 1u);
  EXPECT_EQ(dialogs_.questions[0].text, "Are you sure you want to remove 3 entries?");
  EXPECT_EQ(ReadFileBytes(Path("TRACK.MAS")), before);

  dialogs_.yesNoAnswers = {true};
  w.RemoveselecteditemfromthisMASfile1->trigger();
  TestArchive expected = Track();
  expected.Entries = {expected.Entries[0], expected.Entries[2]};
  EXPECT_EQ(ReadFileBytes(Path("TRACK.MAS")), expected.Build());
  EXPECT_EQ(w.State().FileCount(), 2);
  EXPECT_EQ(w.StatusBar->currentMessage(), "Removed 3 entries from TRACK.MAS");

  // Every entry at once is refused: an archive keeps one.
  SelectEntries({0, 1});
  EXPECT_FALSE(w.RemoveselecteditemfromthisMASfile1->isEnabled());
}

TEST_F(ArchiveManagerTest, CloseEmptiesTheWindowAndReloadReadsTheFileAgain) {
  RecordingWindow& w = StartWith(Track());
  EXPECT_EQ(w.Close1->shortcut(), QKeySequence(QKeySequence::Close));
  EXPECT_EQ(w.Reload1->shortcut(), QKeySequence(QKeySequence::Refresh));
  TestArchive changed = Track();
  changed.Entries.pop_back();
  WriteArchive("TRACK.MAS", changed);
  w.Reload1->trigger();
  EXPECT_EQ(w.State().FileCount(), 4);
  EXPECT_EQ(w.StatusBar->currentMessage(), QString("Reloaded %1").arg(QPath("TRACK.MAS")));

  Select(0);
  w.CopyName1->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), "CAR.MTS");

  w.Close1->trigger();
  EXPECT_FALSE(w.State().IsOpen());
  EXPECT_TRUE(Model()->IsEmpty());
  EXPECT_EQ(w.windowTitle(), "Kestrel");
  for (QAction* a : {w.Close1, w.Reload1, w.ExtractAll1, w.ExtractSelected1, w.AddafiletothisMASfile1})
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
}

TEST_F(ArchiveManagerTest, ContextMenuOffersWhatAppliesAndTheMenuKeyKeepsTheSelection) {
  RecordingWindow& w = StartWith(Track());
  w.MASTreeNT->expand(Model()->NumFilesNode());
  w.MASTreeNT->expand(Model()->GroupNode(1));
  SelectEntries({2, 3});
  w.MASTreeNT->selectionModel()->setCurrentIndex(Model()->EntryNode(2), QItemSelectionModel::NoUpdate);
  QStringList offered;
  QTimer::singleShot(0, &w, [&offered] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* action : menu->actions()) offered << action->objectName();
    menu->close();
  });
  QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(1, 1), w.MASTreeNT->viewport()->mapToGlobal(QPoint(1, 1)));
  QApplication::sendEvent(w.MASTreeNT->viewport(), &key);
  // The image commands come with the image preview, which this window only records.
  EXPECT_EQ(offered, (QStringList{"ExtractSelected1", "RemoveselecteditemfromthisMASfile1", "CopyName1"}));
  EXPECT_EQ(w.SelectedEntries(), (std::vector<int>{2, 3}));
}

TEST_F(ArchiveManagerTest, CancelDuringARemovalKeepsTheOldArchiveByteForByte) {
  // 60 MB of stored entries: the rewrite takes many steps, and Cancel is pressed as soon as the
  // window's events run while the worker writes.
  TestArchive big = Track();
  for (int i = 0; i < 3; ++i) {
    big.Entries.push_back(Entry("BIG" + std::to_string(i) + ".DAT", NoiseBytes(20 << 20, static_cast<uint32_t>(i)), 5, 9));
    big.Entries.back().Stored = true;
  }
  RecordingWindow& w = StartWith(big);
  const std::vector<uint8_t> before = ReadFileBytes(Path("TRACK.MAS"));
  SelectEntries({0, 1});
  dialogs_.yesNoAnswers = {true};
  QTimer::singleShot(0, &w, [&w] {
    auto* progress = w.findChild<QProgressDialog*>(QStringLiteral("WorkProgress"));
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->minimumDuration(), 500);
    auto* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), "Cancel");
    cancel->click();
  });
  w.RemoveselecteditemfromthisMASfile1->trigger();
  EXPECT_EQ(ReadFileBytes(Path("TRACK.MAS")), before);
  EXPECT_EQ(NamesIn(Path("")), (std::set<std::string>{"TRACK.MAS"}));
  EXPECT_EQ(w.State().FileCount(), 8);
  EXPECT_EQ(w.StatusBar->currentMessage(), "Cancelled; the archive was not changed");
  EXPECT_TRUE(dialogs_.messages.empty());
}

}  // namespace
}  // namespace kestrel::studio::testing
