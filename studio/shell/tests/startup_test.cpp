// The main window as it starts: commands, captions, hints, developer items, tool bar and title.
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "studio/shell/archive_tree_model.h"
#include "studio/preview/gl_view.h"
#include "studio/preview/image_view.h"
#include "studio/qt_common/studio_application.h"
#include "studio/shell/tests/studio_fixture.h"
#include "studio/shell/toolbar_images.h"

namespace kestrel::studio::testing {
namespace {

struct CommandAtStart {
  const char* name;
  const char* caption;
  const char* hint;
  bool enabled;
};

const CommandAtStart kMenuCommands[] = {
    {"Open1", "Open", "Open MAS file", true},
    {"Exit1", "Exit", "Exit Kestrel", true},
    {"Exportimagetofile1", "Export image to file", "", false},
    {"Importimagefromfile1", "Import image from file", "", false},
    {"Exportnonimagefile1", "Export non-image file", "", false},
    {"Importnonimagefile1", "Import non-image file", "", false},
    {"AddafiletothisMASfile1", "Add a file to this MAS file", "", false},
    {"RemoveselecteditemfromthisMASfile1", "Remove selected item from this MAS file", "", false},
    {"ConvertMAS", "Convert F1-2001 MAS to F1-2002 MAS", "Convert a F1-2001 .MAS file to a F1-2002 .MAS file", true},
    {"SDTEditor1", "SDT Editor", "SDT Sound Editor", true},
    {"ExportSingleVRMLFile1", "Export Single VRML File", "", false},
    {"RollallMTSObjectsinoneVRMLFile1", "Roll all MTS objects in one VRML File", "", false},
    {"Blend1", "Blend", "", true},
    {"Wireframe1", "Wireframe", "", true},
    {"Textures1", "Textures", "", true},
    {"Options2", "Options", "Change Kestrel options", true},
    {"About1", "About", "About Kestrel", true},
};

struct ButtonAtStart {
  const char* name;
  const char* hint;
  bool enabled;
};

// Left to right, separators as empty names.
const ButtonAtStart kButtons[] = {
    {"TBOpen", "Open MAS file", true},
    {"", "", false},
    {"TBExportBitmap", "Export image to file", false},
    {"TBImportBitmap", "Import image from file", false},
    {"", "", false},
    {"TBExportNonBitmap", "Export non-image file", false},
    {"TBImportNonBitmap", "Import non-image file", false},
    {"", "", false},
    {"TBAddItemToMAS", "Add a file to this MAS file", false},
    {"TBDeleteItemFromMAS", "Remove selected item from this MAS file", false},
    {"", "", false},
    {"TBZoomIn", "Zoom in", false},
    {"TBZoomOut", "Zoom out", false},
    {"TBZoomReset", "Zoom reset", false},
};

QStringList VisibleTexts(const QList<QAction*>& actions) {
  QStringList texts;
  for (QAction* action : actions)
    if (action->isVisible()) texts << (action->isSeparator() ? QStringLiteral("-") : Caption(action));
  return texts;
}

using StartupTest = StudioTest;

TEST_F(StartupTest, MenusAndToolBarStartWithTheirCaptionsHintsAndStates) {
  TFKestrel& w = Start();
  EXPECT_EQ(w.windowTitle(), "Kestrel");
  EXPECT_EQ(ApplicationTitle(), "Kestrel");
  EXPECT_EQ(w.size(), QSize(600, 481));
  EXPECT_EQ(w.TreeModel()->rowCount(), 0);

  for (const CommandAtStart& c : kMenuCommands) {
    SCOPED_TRACE(c.name);
    auto* action = w.findChild<QAction*>(QString::fromLatin1(c.name));
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(Caption(action), c.caption);
    EXPECT_EQ(action->statusTip(), c.hint);
    EXPECT_EQ(action->isEnabled(), c.enabled);
  }
  EXPECT_TRUE(w.Textures1->isChecked());
  EXPECT_FALSE(w.Blend1->isChecked());
  EXPECT_FALSE(w.Wireframe1->isChecked());

  EXPECT_EQ(VisibleTexts(w.File1->actions()), QStringList({"Open", "Reload", "Close", "Export glTF File", "-", "Exit"}));
  EXPECT_EQ(VisibleTexts(w.Edit1->actions()),
            QStringList({"Export image to file", "Import image from file", "-", "Export non-image file",
                         "Import non-image file", "-", "Add a file to this MAS file",
                         "Remove selected item from this MAS file", "-", "Extract Selected...", "Extract All...",
                         "Copy Name", "-", "Select All", "Filter Entries"}));
  EXPECT_EQ(VisibleTexts(w.Help1->actions()), QStringList({"About"}));

  const QList<QAction*> bar = w.ToolBar1->actions();
  QList<QAction*> visible;
  for (QAction* a : bar)
    if (a->isVisible()) visible << a;
  ASSERT_EQ(visible.size(), static_cast<qsizetype>(std::size(kButtons)));
  for (size_t i = 0; i < std::size(kButtons); ++i) {
    const ButtonAtStart& b = kButtons[i];
    SCOPED_TRACE(std::string("button ") + std::to_string(i) + " " + b.name);
    if (!*b.name) {
      EXPECT_TRUE(visible[i]->isSeparator());
      continue;
    }
    auto* button = qobject_cast<QToolButton*>(w.ToolBar1->widgetForAction(visible[i]));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->objectName(), b.name);
    EXPECT_EQ(button->toolTip(), b.hint);
    EXPECT_EQ(button->isEnabled(), b.enabled);
    EXPECT_FALSE(button->icon().isNull());
  }
}

// The Alt letter of a caption ("E&xit" gives 'X'), or 0 when it has none.
QChar MnemonicOf(const QString& text) {
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != QLatin1Char('&')) continue;
    if (text[i + 1] != QLatin1Char('&')) return text[i + 1].toUpper();
    ++i;
  }
  return QChar();
}

TEST_F(StartupTest, EveryMenuAndItemHasItsOwnAltLetter) {
  WriteIni("IsDeveloper=1\n");
  TFKestrel& w = Start();
  std::vector<QList<QAction*>> menus = {w.menuBar()->actions()};
  for (QMenu* menu : {w.File1, w.Edit1, w.View1, w.Tools1, w.Help1, w.VRML1, w.Display1}) menus.push_back(menu->actions());
  for (const QList<QAction*>& items : menus) {
    QSet<QChar> letters;
    for (QAction* item : items) {
      if (item->isSeparator() || !item->isVisible()) continue;
      const QChar letter = MnemonicOf(item->text());
      EXPECT_FALSE(letter.isNull()) << item->text().toStdString();
      EXPECT_FALSE(letters.contains(letter)) << item->text().toStdString();
      letters.insert(letter);
    }
  }
  EXPECT_EQ(VisibleTexts(w.menuBar()->actions()), QStringList({"File", "Edit", "View", "Tools", "Help"}));
}

TEST_F(StartupTest, EachEditCommandIsOneCommandOnMenuAndToolBar) {
  TFKestrel& w = Start();
  const std::pair<const char*, QAction*> pairs[] = {
      {"TBExportBitmap", w.Exportimagetofile1},       {"TBImportBitmap", w.Importimagefromfile1},
      {"TBExportNonBitmap", w.Exportnonimagefile1},   {"TBImportNonBitmap", w.Importnonimagefile1},
      {"TBAddItemToMAS", w.AddafiletothisMASfile1},   {"TBDeleteItemFromMAS", w.RemoveselecteditemfromthisMASfile1},
  };
  for (const auto& [buttonName, action] : pairs) {
    auto* button = w.findChild<QToolButton*>(QString::fromLatin1(buttonName));
    ASSERT_NE(button, nullptr) << buttonName;
    action->setEnabled(true);
    EXPECT_TRUE(button->isEnabled()) << buttonName;
    action->setEnabled(false);
    EXPECT_FALSE(button->isEnabled()) << buttonName;
  }
}

TEST_F(StartupTest, ToolButtonHintShowsInTheStatusBarWhileTheMouseIsOverIt) {
  TFKestrel& w = Start();
  auto* button = w.findChild<QToolButton*>(QStringLiteral("TBExportNonBitmap"));
  QEvent enter(QEvent::Enter);
  QCoreApplication::sendEvent(button, &enter);
  EXPECT_EQ(w.StatusBar->currentMessage(), "Export non-image file");
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(button, &leave);
  EXPECT_EQ(w.StatusBar->currentMessage(), "");
}

struct DeveloperCase {
  const char* ini;
  bool developer;
};

class DeveloperItemsTest : public StudioTest, public ::testing::WithParamInterface<DeveloperCase> {};

TEST_P(DeveloperItemsTest, AreShownOnlyWhenTheFlagIsOn) {
  WriteIni(GetParam().ini);
  TFKestrel& w = Start();
  const bool on = GetParam().developer;
  if (on) {
    EXPECT_EQ(VisibleTexts(w.Tools1->actions()),
              QStringList({"Convert F1-2001 MAS to F1-2002 MAS", "-", "Compare with Archive…", "Apply Mod Package…",
                           "Revert Mod Package…", "-", "SDT Editor", "-", "VRML", "Display",
                           "Dump MTS File as Text...", "-", "Options"}));
    EXPECT_EQ(VisibleTexts(w.VRML1->actions()),
              QStringList({"Export Single VRML File", "Roll all MTS objects in one VRML File"}));
    EXPECT_EQ(VisibleTexts(w.Display1->actions()), QStringList({"Blend", "Wireframe", "Textures"}));
  } else {
    EXPECT_EQ(VisibleTexts(w.Tools1->actions()),
              QStringList({"Convert F1-2001 MAS to F1-2002 MAS", "-", "Compare with Archive…", "Apply Mod Package…",
                           "Revert Mod Package…", "-", "SDT Editor", "-", "Options"}));
  }
  QList<QAction*> visible;
  for (QAction* a : w.ToolBar1->actions())
    if (a->isVisible()) visible << a;
  if (on) {
    ASSERT_GE(visible.size(), 2);
    EXPECT_EQ(visible.at(visible.size() - 2), w.ToolButton7);
    EXPECT_EQ(visible.last(), w.ToolButton6);
    EXPECT_TRUE(w.ToolButton7->isSeparator());
    EXPECT_TRUE(w.ToolButton6->isEnabled());
    EXPECT_EQ(w.ToolBar1->widgetForAction(w.ToolButton6)->objectName(), "ToolButton6");
  } else {
    EXPECT_EQ(visible.last(), w.TBZoomReset);
  }
}

std::string DeveloperCaseName(const ::testing::TestParamInfo<DeveloperCase>& info) {
  static const char* const names[] = {"Absent", "Zero", "One", "Two", "Word"};
  return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Flags, DeveloperItemsTest,
                         ::testing::Values(DeveloperCase{"", false}, DeveloperCase{"IsDeveloper=0\n", false},
                                           DeveloperCase{"IsDeveloper=1\n", true},
                                           DeveloperCase{"IsDeveloper=2\n", true},
                                           DeveloperCase{"IsDeveloper=yes\n", false}),
                         DeveloperCaseName);

TEST_F(StartupTest, LayoutHasTheNamedPanelsAndBothViewsOverEachOther) {
  TFKestrel& w = Start();
  for (const char* name : {"PTree", "PViewer", "Splitter1", "MASTreeNT", "glWindow", "MASImgView", "StatusBar"})
    EXPECT_NE(w.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
  EXPECT_EQ(w.MASTreeNT->parentWidget(), w.PTree);
  EXPECT_EQ(w.glWindow->parentWidget(), w.PViewer);
  EXPECT_EQ(w.MASImgView->parentWidget(), w.PViewer);
  EXPECT_FALSE(w.glWindow->isHidden());
  EXPECT_FALSE(w.MASImgView->isHidden());
  EXPECT_EQ(w.Splitter1->handleWidth(), 3);
  EXPECT_EQ(w.MASTreeNT->editTriggers(), QAbstractItemView::NoEditTriggers);
}

TEST(ToolbarStrip, HasFifteenImagesWithMagentaTransparent) {
  ASSERT_EQ(LoadToolbarImages().size(), 15);  // also registers the resource
  const QImage loaded(QStringLiteral(":/IDB_TOOLBAR"));
  ASSERT_EQ(loaded.size(), QSize(240, 15));
  const QList<QImage> images = SplitToolbarStrip(loaded);
  ASSERT_EQ(images.size(), 15);
  int transparent = 0, opaque = 0;
  for (int i = 0; i < images.size(); ++i) {
    EXPECT_EQ(images[i].size(), QSize(16, 15));
    for (int y = 0; y < 15; ++y)
      for (int x = 0; x < 16; ++x) {
        const bool wasMagenta = (loaded.pixel(i * 16 + x, y) & 0xFFFFFFu) == 0xFF00FFu;
        EXPECT_EQ(qAlpha(images[i].pixel(x, y)) == 0, wasMagenta);
        (wasMagenta ? transparent : opaque)++;
      }
  }
  EXPECT_GT(transparent, 0);
  EXPECT_GT(opaque, 15 * 20);  // every image draws something
  EXPECT_TRUE(SplitToolbarStrip(QImage()).isEmpty());
}

}  // namespace
}  // namespace kestrel::studio::testing
