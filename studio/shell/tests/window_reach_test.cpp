// The main window by keyboard and at a glance: standard keys and the View menu, detail lines that
// are never cut, recent files told apart, archives that are not there, and the mesh dump's dialog.
#include <QApplication>
#include <QHeaderView>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTest>
#include <filesystem>

#include "studio/qt_common/testing/accessible_names.h"
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

class WindowReachTest : public StudioTest {
 protected:
  std::string Make(const std::string& name, std::vector<TestEntry> entries = {TestEntry("SKY.BMP", Bytes("bmp"))}) {
    std::filesystem::create_directories(std::filesystem::path(Path(name)).parent_path());
    return WriteArchive(name, ArchiveOf(std::move(entries)));
  }
  RecordingWindow& Shown(const QString& startup = {}) {
    RecordingWindow& w = Start(startup);
    w.show();
    QApplication::setActiveWindow(&w);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
    return w;
  }
};

TEST_F(WindowReachTest, StandardKeysAndTheViewMenuReachTheCommands) {
  RecordingWindow& w =
      Shown(QString::fromStdString(Make("SKY.MAS", {TestEntry("SKY.BMP", Bytes("b")), TestEntry("SEA.BMP", Bytes("b"))})));
  EXPECT_EQ(w.View1->actions(), QList<QAction*>({w.TBZoomIn, w.TBZoomOut, w.TBZoomReset}));
  Select(0);  // an image: zoom in becomes possible
  ASSERT_TRUE(w.TBZoomIn->isEnabled());

  struct Press {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int zoom;
  };
  const Press presses[] = {
      {Qt::Key_Plus, Qt::ControlModifier, 2},  {Qt::Key_Equal, Qt::ControlModifier, 3},
      {Qt::Key_Minus, Qt::ControlModifier, 2}, {Qt::Key_Plus, Qt::ControlModifier, 3},
      {Qt::Key_0, Qt::ControlModifier, 1},
  };
  for (const Press& p : presses) {
    QTest::keyClick(&w, p.key, p.modifiers);
    EXPECT_EQ(w.State().ZoomFactor, p.zoom) << QKeySequence(p.modifiers | p.key).toString().toStdString();
  }

  // The desktop's keys for open and remove; remove still asks first.
  dialogs_.Clear();
  QTest::keySequence(&w, QKeySequence::Open);
  ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
  EXPECT_EQ(dialogs_.fileRequests[0].objectName, "ODMAS");
  Select(0);
  QTest::keySequence(w.MASTreeNT, QKeySequence::Delete);
  ASSERT_EQ(dialogs_.questions.size(), 1u);
  EXPECT_EQ(dialogs_.questions[0].text, "Are you sure you want to remove SKY.BMP");
  EXPECT_EQ(w.State().FileCount(), 2);

  QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(w.isVisible());
}

TEST_F(WindowReachTest, TheMeshDumpHasADeveloperMenuItem) {
  for (const bool developer : {false, true}) {
    SCOPED_TRACE(developer);
    WriteIni(developer ? "IsDeveloper=1\n" : "IsDeveloper=0\n");
    TFKestrel& w = Start();
    EXPECT_TRUE(w.Tools1->actions().contains(w.DumpMTSFile1));
    EXPECT_EQ(w.DumpMTSFile1->isVisible(), developer);
    dialogs_.Clear();
    w.DumpMTSFile1->trigger();
    ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs_.fileRequests[0].title, "Save a MTS File");
  }
}

// The same check as the accessibility bus test, from Qt's side, with the developer's items shown.
TEST_F(WindowReachTest, EveryControlAndViewHasAnAccessibleName) {
  WriteIni("IsDeveloper=1\n");
  RecordingWindow& w = Shown(QString::fromStdString(Make("SKY.MAS")));
  std::vector<std::string> unnamed = ControlsWithoutAccessibleName(&w);
  // The menu bar's overflow popup is made by Qt when first needed and never reaches the
  // accessibility bus; the button that opens it is named.
  std::erase(unnamed, std::string(" (QMenu)"));
  EXPECT_TRUE(unnamed.empty()) << ::testing::PrintToString(unnamed);
}

TEST_F(WindowReachTest, LongDetailLinesWidenTheTreeWhichScrollsSideways) {
  RecordingWindow& w = Shown(QString::fromStdString(Make("SKY.MAS")));
  w.resize(320, 300);
  w.Splitter1->setSizes({120, 200});
  w.MASTreeNT->expandAll();
  QApplication::processEvents();
  const QAbstractItemView* view = w.MASTreeNT;  // the widest line, indentation included
  EXPECT_GE(w.MASTreeNT->columnWidth(0), view->sizeHintForColumn(0));
  EXPECT_GT(w.MASTreeNT->horizontalScrollBar()->maximum(), 0);
}

TEST_F(WindowReachTest, RecentFilesOfOneNameShowTheirFolders) {
  const std::string first = Make("one/A.MAS");
  const std::string second = Make("two/A.MAS");
  TFKestrel& w = Start();
  w.OpenArchive(QString::fromStdString(first));
  w.OpenArchive(QString::fromStdString(second));
  ASSERT_EQ(w.RecentItems.size(), 2);
  EXPECT_EQ(Caption(w.RecentItems[0]), Caption(w.RecentItems[1]));
  EXPECT_EQ(w.RecentItems[0]->toolTip(), QString::fromStdString(second));
  EXPECT_EQ(w.RecentItems[0]->statusTip(), QString::fromStdString(second));
  EXPECT_EQ(w.RecentItems[1]->toolTip(), QString::fromStdString(first));
  EXPECT_TRUE(w.File1->toolTipsVisible());
}

TEST_F(WindowReachTest, AnArchiveThatIsNotThereIsNamedInAMessage) {
  // Given on the command line.
  Start(QPath("NOPE.MAS"));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(dialogs_.messages[0].text, "Cannot open \"" + QPath("NOPE.MAS") + "\": the file does not exist.");
  End();

  // Recent files deleted while the studio was not running: one message at start for all of them.
  WriteIni("[MRU%20Items]\nF0=" + Path("GONE1.MAS") + "\nF1=" + Make("KEPT.MAS") + "\nF2=" + Path("GONE2.MAS") + "\n");
  dialogs_.Clear();
  Start();
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Warning);
  EXPECT_EQ(dialogs_.messages[0].text,
            "These archives no longer exist and were removed from the recent files:\r\n" + QPath("GONE1.MAS") + "\r\n" +
                QPath("GONE2.MAS"));
}

// The dump shares its save dialog with the entry export and the VRML exports, and starts where
// any of them left it, accepted or cancelled.
TEST_F(WindowReachTest, TheMeshDumpDialogStartsWhereTheSharedDialogWasLeft) {
  WriteIni("IsDeveloper=1\nBMPInitialDir=" + Path("bmp") + "\n");
  std::filesystem::create_directories(Path("out"));
  const std::string archive = Make("CARS.MAS", {TestEntry("CAR.ANM", Bytes("anm"), 31), TestEntry("CAR.MTS", Bytes("m"), 17)});
  TFKestrel& w = Start(QString::fromStdString(archive));
  struct Use {
    const char* name;
    std::function<void()> use;
    QString folder;
    QString file;
  };
  const Use uses[] = {
      {"entry export accepted",
       [&] {
         Select(0);
         dialogs_.fileAnswers = {QPath("out/SAVED.ANM")};
         w.Exportnonimagefile1->trigger();
       },
       QPath("out"), "SAVED.ANM"},
      {"VRML roll cancelled",
       [&] {
         dialogs_.fileAnswers = {QString()};
         w.RollallMTSObjectsinoneVRMLFile1->trigger();
       },
       QString::fromStdString(dir_.Path()), "CARS.WRL"},
  };
  for (const Use& u : uses) {
    SCOPED_TRACE(u.name);
    u.use();
    dialogs_.Clear();
    dialogs_.fileAnswers = {QString()};
    w.ToolButton6->trigger();
    ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
    EXPECT_EQ(QDir(dialogs_.fileRequests[0].startDirectory).absolutePath(), QDir(u.folder).absolutePath());
    EXPECT_EQ(dialogs_.fileRequests[0].proposedName, u.file);
  }
}

}  // namespace
}  // namespace kestrel::studio::testing
