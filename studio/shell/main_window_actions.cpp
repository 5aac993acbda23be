// The main window's commands: menus, tool bar, their hints and the developer-only items.
#include <QAction>
#include <QEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "studio/shell/main_window.h"
#include "studio/soundbank/sdt_editor.h"
#include "studio/shell/toolbar_images.h"

namespace kestrel::studio {

namespace {

// The edit commands have a hint on their tool buttons but none on their menu items, while menu
// item and button share one action (so they are always enabled together). The button shows its
// hint in the status bar itself.
class ToolButtonHint : public QObject {
 public:
  ToolButtonHint(QString hint, QStatusBar* statusBar, QObject* parent)
      : QObject(parent), hint_(std::move(hint)), status_bar_(statusBar) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Enter) status_bar_->showMessage(hint_);
    else if (event->type() == QEvent::Leave) status_bar_->clearMessage();
    return QObject::eventFilter(watched, event);
  }

 private:
  QString hint_;
  QStatusBar* status_bar_;
};

QAction* Separator(QObject* parent, const char* objectName) {
  auto* action = new QAction(parent);
  action->setSeparator(true);
  action->setObjectName(QString::fromLatin1(objectName));
  return action;
}

// A file name as a menu caption: an ampersand is shown, not taken as a shortcut mark.
QString MenuCaption(const QString& path) {
  QString caption = QFileInfo(path).fileName();
  caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
  return caption;
}

}  // namespace

QAction* TFKestrel::NewAction(const char* objectName, const QString& caption, const QString& hint, bool enabled) {
  auto* action = new QAction(caption, this);
  action->setObjectName(QString::fromLatin1(objectName));
  action->setStatusTip(hint);
  // Without a hint Qt's tool tip is the caption with its mnemonic mark taken out.
  if (!hint.isEmpty()) action->setToolTip(hint);
  action->setEnabled(enabled);
  action->setIconVisibleInMenu(false);
  return action;
}

void TFKestrel::Bind(QAction* action, void (TFKestrel::*handler)()) {
  const QString name = action->objectName() + QStringLiteral("Click");
  connect(action, &QAction::triggered, this, [this, handler, name] { RunCommand(name, [this, handler] { (this->*handler)(); }); });
}

void TFKestrel::CreateActions() {
  Open1 = NewAction("Open1", tr("&Open"), tr("Open MAS file"), true);
  ExportglTFFile1 = NewAction("ExportglTFFile1", tr("Export &glTF File"), tr("Export the selected mesh as glTF"), false);
  N1 = Separator(this, "N1");
  Exit1 = NewAction("Exit1", tr("E&xit"), tr("Exit Kestrel"), true);

  // Shared by menu item and tool button; the hint is the button's alone.
  Exportimagetofile1 = NewAction("Exportimagetofile1", tr("&Export image to file"), {}, false);
  Importimagefromfile1 = NewAction("Importimagefromfile1", tr("&Import image from file"), {}, false);
  N7 = Separator(this, "N7");
  Exportnonimagefile1 = NewAction("Exportnonimagefile1", tr("Export &non-image file"), {}, false);
  Importnonimagefile1 = NewAction("Importnonimagefile1", tr("Imp&ort non-image file"), {}, false);
  N8 = Separator(this, "N8");
  AddafiletothisMASfile1 = NewAction("AddafiletothisMASfile1", tr("&Add a file to this MAS file"), {}, false);
  RemoveselecteditemfromthisMASfile1 =
      NewAction("RemoveselecteditemfromthisMASfile1", tr("&Remove selected item from this MAS file"), {}, false);

  ConvertMAS = NewAction("ConvertMAS", tr("&Convert F1-2001 MAS to F1-2002 MAS"),
                         tr("Convert a F1-2001 .MAS file to a F1-2002 .MAS file"), true);
  N2 = Separator(this, "N2");
  SDTEditor1 = NewAction("SDTEditor1", tr("&SDT Editor"), tr("SDT Sound Editor"), true);
  N6 = Separator(this, "N6");
  ExportSingleVRMLFile1 = NewAction("ExportSingleVRMLFile1", tr("Export &Single VRML File"), {}, false);
  RollallMTSObjectsinoneVRMLFile1 =
      NewAction("RollallMTSObjectsinoneVRMLFile1", tr("&Roll all MTS objects in one VRML File"), {}, false);
  Blend1 = NewAction("Blend1", tr("&Blend"), {}, true);
  Blend1->setCheckable(true);
  Wireframe1 = NewAction("Wireframe1", tr("&Wireframe"), {}, true);
  Wireframe1->setCheckable(true);
  Textures1 = NewAction("Textures1", tr("&Textures"), {}, true);
  Textures1->setCheckable(true);
  Textures1->setChecked(true);
  N3 = Separator(this, "N3");
  Options2 = NewAction("Options2", tr("&Options"), tr("Change Kestrel options"), true);
  About1 = NewAction("About1", tr("&About"), tr("About Kestrel"), true);
  RecentSeparator = Separator(this, "RecentSeparator");

  TBZoomIn = NewAction("TBZoomIn", tr("Zoom in"), tr("Zoom in"), false);
  TBZoomOut = NewAction("TBZoomOut", tr("Zoom out"), tr("Zoom out"), false);
  TBZoomReset = NewAction("TBZoomReset", tr("Zoom reset"), tr("Zoom reset"), false);
  ToolButton7 = Separator(this, "ToolButton7");
  ToolButton6 = NewAction("ToolButton6", QString(), QString(), true);
  ToolButton6->setToolTip(QString());

  Bind(Open1, &TFKestrel::Open1Click);
  Bind(Exit1, &TFKestrel::Exit1Click);
  Bind(ExportglTFFile1, &TFKestrel::ExportglTFFile1Click);
  Bind(Exportimagetofile1, &TFKestrel::Exportimagetofile1Click);
  Bind(Importimagefromfile1, &TFKestrel::Importimagefromfile1Click);
  Bind(Exportnonimagefile1, &TFKestrel::Exportnonimagefile1Click);
  Bind(Importnonimagefile1, &TFKestrel::Importnonimagefile1Click);
  Bind(AddafiletothisMASfile1, &TFKestrel::AddafiletothisMASfile1Click);
  Bind(RemoveselecteditemfromthisMASfile1, &TFKestrel::RemoveselecteditemfromthisMASfile1Click);
  Bind(ConvertMAS, &TFKestrel::ConvertMASClick);
  Bind(SDTEditor1, &TFKestrel::SDTEditor1Click);
  Bind(ExportSingleVRMLFile1, &TFKestrel::ExportSingleVRMLFile1Click);
  Bind(RollallMTSObjectsinoneVRMLFile1, &TFKestrel::RollallMTSObjectsinoneVRMLFile1Click);
  Bind(Blend1, &TFKestrel::Blend1Click);
  Bind(Wireframe1, &TFKestrel::Wireframe1Click);
  Bind(Textures1, &TFKestrel::Textures1Click);
  Bind(Options2, &TFKestrel::Options2Click);
  Bind(About1, &TFKestrel::About1Click);
  Bind(TBZoomIn, &TFKestrel::TBZoomInClick);
  Bind(TBZoomOut, &TFKestrel::TBZoomOutClick);
  Bind(TBZoomReset, &TFKestrel::TBZoomResetClick);
  Bind(ToolButton6, &TFKestrel::ToolButton6Click);
}

void TFKestrel::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));

  File1 = bar->addMenu(tr("&File"));
  File1->setObjectName(QStringLiteral("File1"));
  File1->addActions({Open1, ExportglTFFile1, RecentSeparator, N1, Exit1});

  Edit1 = bar->addMenu(tr("&Edit"));
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->addActions({Exportimagetofile1, Importimagefromfile1, N7, Exportnonimagefile1, Importnonimagefile1, N8,
                     AddafiletothisMASfile1, RemoveselecteditemfromthisMASfile1});

  Tools1 = bar->addMenu(tr("&Tools"));
  Tools1->setObjectName(QStringLiteral("Tools1"));
  Tools1->addActions({ConvertMAS, N2, SDTEditor1, N6});
  VRML1 = Tools1->addMenu(tr("&VRML"));
  VRML1->setObjectName(QStringLiteral("VRML1"));
  VRML1->menuAction()->setObjectName(QStringLiteral("VRML1"));
  VRML1->addActions({ExportSingleVRMLFile1, RollallMTSObjectsinoneVRMLFile1});
  Display1 = Tools1->addMenu(tr("&Display"));
  Display1->setObjectName(QStringLiteral("Display1"));
  Display1->menuAction()->setObjectName(QStringLiteral("Display1"));
  Display1->addActions({Blend1, Wireframe1, Textures1});
  Tools1->addActions({N3, Options2});
  CreateModCommands();

  Help1 = bar->addMenu(tr("&Help"));
  Help1->setObjectName(QStringLiteral("Help1"));
  Help1->addAction(About1);
}

void TFKestrel::CreateToolBar() {
  ToolBar1 = new QToolBar(this);
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setMovable(false);
  ToolBar1->setFloatable(false);
  ToolBar1->setIconSize(QSize(kToolbarImageWidth, kToolbarImageHeight));
  ToolBar1->setFixedHeight(30);
  ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
  addToolBar(Qt::TopToolBarArea, ToolBar1);

  const QList<QIcon> images = LoadToolbarImages();
  struct Button {
    QAction* action;
    const char* objectName;
    int image;
    const char* hint;  // the button's own hint where its menu item has none
  };
  const Button buttons[] = {
      {Open1, "TBOpen", 1, nullptr},
      {nullptr, nullptr, 0, nullptr},
      {Exportimagetofile1, "TBExportBitmap", 9, "Export image to file"},
      {Importimagefromfile1, "TBImportBitmap", 8, "Import image from file"},
      {nullptr, nullptr, 0, nullptr},
      {Exportnonimagefile1, "TBExportNonBitmap", 3, "Export non-image file"},
      {Importnonimagefile1, "TBImportNonBitmap", 2, "Import non-image file"},
      {nullptr, nullptr, 0, nullptr},
      {AddafiletothisMASfile1, "TBAddItemToMAS", 13, "Add a file to this MAS file"},
      {RemoveselecteditemfromthisMASfile1, "TBDeleteItemFromMAS", 14, "Remove selected item from this MAS file"},
      {nullptr, nullptr, 0, nullptr},
      {TBZoomIn, "TBZoomIn", 10, nullptr},
      {TBZoomOut, "TBZoomOut", 11, nullptr},
      {TBZoomReset, "TBZoomReset", 12, nullptr},
      {ToolButton7, nullptr, 0, nullptr},
      {ToolButton6, "ToolButton6", 1, nullptr},
  };
  for (const Button& b : buttons) {
    if (!b.action) {
      ToolBar1->addSeparator();
      continue;
    }
    ToolBar1->addAction(b.action);
    if (!b.objectName) continue;
    if (b.image < images.size()) b.action->setIcon(images[b.image]);
    QWidget* button = ToolBar1->widgetForAction(b.action);
    button->setObjectName(QString::fromLatin1(b.objectName));
    if (b.hint) {
      button->setToolTip(tr(b.hint));
      b.action->setToolTip(tr(b.hint));
      button->installEventFilter(new ToolButtonHint(tr(b.hint), StatusBar, button));
    }
  }
}

void TFKestrel::ApplyDeveloperMode() {
  const bool on = settings_.IsDeveloper;
  for (QAction* item : {VRML1->menuAction(), Display1->menuAction(), N3, RollallMTSObjectsinoneVRMLFile1, ToolButton7,
                        ToolButton6})
    item->setVisible(on);
}

void TFKestrel::RebuildRecentFilesMenu() {
  // The old items may be the one being chosen right now, so they go only when control returns.
  for (QAction* item : RecentItems) {
    File1->removeAction(item);
    item->deleteLater();
  }
  RecentItems.clear();
  const QStringList& paths = recent_.Items();
  for (qsizetype i = 0; i < paths.size(); ++i) {
    const QString path = paths[i];
    auto* item = new QAction(MenuCaption(path), this);
    item->setObjectName(QStringLiteral("RecentFile%1").arg(i));
    item->setData(path);
    connect(item, &QAction::triggered, this,
            [this, path] { RunCommand(QStringLiteral("RecentFileClick"), [this, path] { RecentFileClick(path); }); });
    File1->insertAction(N1, item);
    RecentItems << item;
  }
  RecentSeparator->setVisible(!paths.isEmpty());
}

void TFKestrel::Exit1Click() { close(); }

// The commands below come with the editing, image, mesh, sound bank and options work of the studio.
void TFKestrel::SDTEditor1Click() { findChild<TFKestrelSDT*>(QStringLiteral("FKestrelSDT"))->exec(); }

}  // namespace kestrel::studio
