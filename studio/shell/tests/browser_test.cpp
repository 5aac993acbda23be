// The archive tree: texts, groups, order, colours, node data, and what selecting an entry does.
#include <QColor>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QStatusBar>
#include <QTreeView>

#include "studio/shell/archive_tree_model.h"
#include "studio/preview/gl_view.h"
#include "studio/preview/image_view.h"
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

class BrowserTest : public StudioTest {
 protected:
  // Hidden commands are disabled too; the developer's menu shows all of them.
  void SetUp() override {
    StudioTest::SetUp();
    WriteIni("IsDeveloper=1\n");
  }
  // Table order on purpose: b.tga before A.TGA, ZZ before AA among the unknown types.
  TestArchive Mixed() {
    std::vector<TestEntry> entries = {
        TestEntry("b.tga", Bytes("tga one"), 20),
        TestEntry("A.TGA", Bytes("tga two"), 20),
        TestEntry("CAR.MTS", Bytes("a mesh"), 17, /*stored=*/true),
        TestEntry("OLD.BMP", Bytes("raw pixels"), 2),
        TestEntry("NEW.BMP", Bytes("bitmap file"), 18),
        TestEntry("ZZ", Bytes("zz"), 5),
        TestEntry("AA", Bytes("aa"), 40),
        TestEntry("PHOTO.JPG", Bytes("jpeg"), 22),
        TestEntry("WAVE.ANM", Bytes("anim"), 31),
        TestEntry("OLDMESH.MTS", Bytes("old mesh"), 1),
    };
    entries[5].Unknown = -5;
    return ArchiveOf(entries);
  }
  QStringList Children(const QModelIndex& parent) {
    QStringList texts;
    const QAbstractItemModel* m = W().TreeModel();
    for (int row = 0; row < m->rowCount(parent); ++row) texts << m->index(row, 0, parent).data().toString();
    return texts;
  }
  int EntryData(const QModelIndex& index) { return index.data(ArchiveTreeModel::EntryIndexRole).toInt(); }
  void Select(const QModelIndex& index) { W().MASTreeNT->setCurrentIndex(index); }
  // A click on the node that is already current: only the click handler runs.
  void ClickAgain() { W().MASTreeNTChange(); }
};

TEST_F(BrowserTest, TreeShowsGroupsInOrderWithSortedEntriesAndDetails) {
  const std::string path = WriteArchive("MIXED.MAS", Mixed());
  RecordingWindow& w = Start(QString::fromStdString(path));
  const ArchiveTreeModel* m = w.TreeModel();

  ASSERT_EQ(m->rowCount(), 1);
  EXPECT_EQ(m->RootNode().data().toString(), "MIXED.MAS");
  EXPECT_EQ(Children(m->RootNode()), QStringList({"Num files: 10", QStringLiteral("Filesize : %1").arg(w.State().FileLength)}));
  EXPECT_EQ(Children(m->NumFilesNode()),
            QStringList({"MTS Files", "BMP Files", "ANM Files", "TGA Files", "JPG Files", "Other Files"}));
  EXPECT_EQ(Children(m->GroupNode(0)), QStringList({"CAR.MTS", "OLDMESH.MTS"}));
  EXPECT_EQ(Children(m->GroupNode(1)), QStringList({"NEW.BMP", "OLD.BMP"}));
  EXPECT_EQ(Children(m->GroupNode(2)), QStringList({"WAVE.ANM"}));
  EXPECT_EQ(Children(m->GroupNode(3)), QStringList({"A.TGA", "b.tga"}));
  EXPECT_EQ(Children(m->GroupNode(4)), QStringList({"PHOTO.JPG"}));
  EXPECT_EQ(Children(m->GroupNode(5)), QStringList({"ZZ", "AA"}));  // table order

  const TMAS_FileEntry& zz = w.State().Table[5];
  EXPECT_EQ(Children(m->EntryNode(5)),
            QStringList({"Type : Unknown", QStringLiteral("Start : %1").arg(zz.Offset),
                         QStringLiteral("Uncompressed : %1").arg(zz.UncompressedSize),
                         QStringLiteral("Compressed : %1").arg(zz.CompressedSize), "Unknown : -5"}));
  EXPECT_EQ(m->DetailNode(3, 0).data().toString(), "Type : BMP");  // code 2 shows as BMP too
  EXPECT_EQ(m->DetailNode(0, 1).data().toString(), "Start : 0");   // from the data start

  EXPECT_TRUE(w.MASTreeNT->isExpanded(m->RootNode()));
  EXPECT_FALSE(w.MASTreeNT->isExpanded(m->NumFilesNode()));
}

TEST_F(BrowserTest, CompressedEntriesAreNavyAndNodesCarryTheirEntryPosition) {
  RecordingWindow& w = Start(QString::fromStdString(WriteArchive("MIXED.MAS", Mixed())));
  const ArchiveTreeModel* m = w.TreeModel();
  for (int i = 0; i < w.State().FileCount(); ++i) {
    SCOPED_TRACE(i);
    const QVariant colour = m->EntryNode(i).data(Qt::ForegroundRole);
    if (w.State().Table[static_cast<size_t>(i)].IsStored())
      EXPECT_FALSE(colour.isValid());
    else
      EXPECT_EQ(colour.value<QColor>(), QColor(0, 0, 128));
    EXPECT_EQ(EntryData(m->EntryNode(i)), i + 1);
    for (int d = 0; d < ArchiveTreeModel::kDetailCount; ++d) {
      EXPECT_EQ(EntryData(m->DetailNode(i, d)), i + 1);
      EXPECT_FALSE(m->DetailNode(i, d).data(Qt::ForegroundRole).isValid());
      EXPECT_EQ(m->parent(m->DetailNode(i, d)), m->EntryNode(i));
    }
    EXPECT_EQ(m->index(m->EntryNode(i).row(), 0, m->parent(m->EntryNode(i))), m->EntryNode(i));
  }
  EXPECT_FALSE(m->EntryNode(2).data(Qt::ForegroundRole).isValid());  // CAR.MTS is stored
  for (const QModelIndex& structure : {m->RootNode(), m->NumFilesNode(), m->FileSizeNode(), m->GroupNode(5)})
    EXPECT_EQ(EntryData(structure), 0);
}

TEST_F(BrowserTest, SelectionShowsAnEntryOnceUntilSomethingElseIsSelected) {
  RecordingWindow& w = Start(QString::fromStdString(WriteArchive("MIXED.MAS", Mixed())));
  const ArchiveTreeModel* m = w.TreeModel();
  using Shown = std::vector<std::pair<char, int>>;

  Select(m->DetailNode(2, 3));  // a detail line of CAR.MTS shows it
  EXPECT_EQ(w.previews, (Shown{{'M', 2}}));
  ClickAgain();
  Select(m->DetailNode(2, 0));
  Select(m->EntryNode(2));
  EXPECT_EQ(w.previews, (Shown{{'M', 2}}));
  EXPECT_TRUE(w.MASTreeNT->isExpanded(m->EntryNode(2)));  // the selected node opens

  Select(m->NumFilesNode());  // changes nothing on screen...
  EXPECT_EQ(w.previews, (Shown{{'M', 2}}));
  EXPECT_EQ(w.State().SelectedEntry, 0);
  Select(m->DetailNode(2, 4));  // ...but the entry shows again afterwards
  EXPECT_EQ(w.previews, (Shown{{'M', 2}, {'M', 2}}));

  Select(m->EntryNode(1));
  Select(m->EntryNode(6));  // another type shows no preview
  EXPECT_EQ(w.previews, (Shown{{'M', 2}, {'M', 2}, {'I', 1}}));
  EXPECT_EQ(w.State().SelectedEntry, 7);
}

struct ShownState {
  const char* name;
  int index;
  bool exportImageStays, exportNonImage, importNonImage, vrmlSingle, vrmlAll, zoomIn;
  int glShown;  // 1 shown, 0 hidden, -1 as before
};

TEST_F(BrowserTest, ShowEntrySwitchesCommandsAndViewsByType) {
  RecordingWindow& w = Start(QString::fromStdString(WriteArchive("MIXED.MAS", Mixed())));
  const ShownState cases[] = {
      {"TGA image", 1, true, false, false, false, true, true, 0},
      {"MTS mesh", 2, false, true, true, true, true, false, 1},
      {"type 5", 5, false, true, true, false, true, false, -1},
      {"JPG image", 7, true, false, false, false, true, true, 0},
      {"old mesh type 1", 9, false, true, true, false, true, false, -1},
  };
  for (const ShownState& c : cases) {
    SCOPED_TRACE(c.name);
    // Start from a state where everything is on, to see what each kind turns off.
    for (QAction* a : {w.Exportimagetofile1, w.Exportnonimagefile1, w.Importnonimagefile1, w.ExportSingleVRMLFile1,
                       w.RollallMTSObjectsinoneVRMLFile1, w.RemoveselecteditemfromthisMASfile1})
      a->setEnabled(true);
    w.glWindow->setVisible(c.glShown != 1);
    w.MASImgView->setVisible(c.glShown == 1);
    const bool glBefore = !w.glWindow->isHidden();

    w.ShowEntry(c.index);
    EXPECT_EQ(w.Exportimagetofile1->isEnabled(), c.exportImageStays);
    EXPECT_EQ(w.Exportnonimagefile1->isEnabled(), c.exportNonImage);
    EXPECT_EQ(w.Importnonimagefile1->isEnabled(), c.importNonImage);
    EXPECT_EQ(w.ExportSingleVRMLFile1->isEnabled(), c.vrmlSingle);
    EXPECT_EQ(w.RollallMTSObjectsinoneVRMLFile1->isEnabled(), c.vrmlAll);
    EXPECT_EQ(w.TBZoomIn->isEnabled(), c.zoomIn);
    EXPECT_TRUE(w.RemoveselecteditemfromthisMASfile1->isEnabled());
    const bool glNow = !w.glWindow->isHidden();
    if (c.glShown == -1) {
      EXPECT_EQ(glNow, glBefore);
    } else {
      EXPECT_EQ(glNow, c.glShown == 1);
      EXPECT_EQ(w.MASImgView->isHidden(), c.glShown == 1);
      EXPECT_EQ(w.glWindow->MouseHandlersAttached(), c.glShown == 1);
    }
  }
}

TEST_F(BrowserTest, WithoutOpenGLTheMeshViewShowsItsBackgroundOnly) {
  RecordingWindow& w = Start();
  if (TGLWindow::Available()) GTEST_SKIP() << "this display offers OpenGL";
  EXPECT_EQ(w.glWindow->Canvas(), nullptr);
  EXPECT_TRUE(w.glWindow->autoFillBackground());
  EXPECT_EQ(w.glWindow->palette().color(QPalette::Window), QColor(51, 51, 102));
}

TEST_F(BrowserTest, ImageSelectionKeepsZoomAndLeavesTheOtherZoomButtons) {
  RecordingWindow& w = Start(QString::fromStdString(WriteArchive("MIXED.MAS", Mixed())));
  w.State().ZoomFactor = 3;
  w.TBZoomOut->setEnabled(true);
  w.ShowEntry(4);
  EXPECT_EQ(w.State().ZoomFactor, 3);
  EXPECT_TRUE(w.TBZoomOut->isEnabled());
  w.ShowEntry(2);  // a mesh resets the image commands
  EXPECT_EQ(w.State().ZoomFactor, 1);
  EXPECT_FALSE(w.TBZoomIn->isEnabled());
  EXPECT_FALSE(w.TBZoomOut->isEnabled());
}

TEST_F(BrowserTest, ArrowKeysGoFromEntryToEntryAndTellDecodeFailuresOnTheStatusLine) {
  RecordingWindow& w = Start(QString::fromStdString(WriteArchive("MIXED.MAS", Mixed())));
  w.showImages = w.showMeshes = true;  // every picture and mesh of Mixed() is broken
  w.show();
  const ArchiveTreeModel* m = w.TreeModel();
  for (const QModelIndex& node : {m->NumFilesNode(), m->GroupNode(0), m->GroupNode(1)}) w.MASTreeNT->expand(node);
  Select(m->GroupNode(0));
  auto press = [&](Qt::Key key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w.MASTreeNT, &event);
  };
  // MTS Files > CAR.MTS, OLDMESH.MTS; BMP Files > NEW.BMP: one key each.
  for (int i = 0; i < 4; ++i) press(Qt::Key_Down);
  EXPECT_EQ(w.MASTreeNT->currentIndex(), m->EntryNode(4));
  EXPECT_EQ(w.previews, (std::vector<std::pair<char, int>>{{'M', 2}, {'I', 4}}));
  for (int entry : {2, 9, 4}) EXPECT_FALSE(w.MASTreeNT->isExpanded(m->EntryNode(entry))) << entry;
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_TRUE(dialogs_.applicationErrors.empty());
  EXPECT_FALSE(w.StatusBar->currentMessage().isEmpty());

  // The mouse keeps opening the entry and showing its failure in a box.
  QCoreApplication::processEvents();
  ClickAgain();
  EXPECT_TRUE(w.MASTreeNT->isExpanded(m->EntryNode(4)));
  Select(m->EntryNode(1));  // A.TGA
  EXPECT_EQ(dialogs_.applicationErrors.size(), 1u);
}

TEST_F(BrowserTest, RemoveStaysOffInAnArchiveOfOneEntry) {
  RecordingWindow& w = Start(QString::fromStdString(WriteArchive("ONE.MAS", ArchiveOf({TestEntry("ONLY.MTS", Bytes("m"), 17)}))));
  w.ShowEntry(0);
  EXPECT_TRUE(w.Exportnonimagefile1->isEnabled());
  EXPECT_FALSE(w.RemoveselecteditemfromthisMASfile1->isEnabled());
}

}  // namespace
}  // namespace kestrel::studio::testing
