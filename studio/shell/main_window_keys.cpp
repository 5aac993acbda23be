// Keyboard reach of the main window: the View menu with the zoom commands, the menu item of the
// mesh dump, the desktop's standard keys, and names that assistive tools read out.
#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QSizeGrip>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "studio/preview/gl_view.h"
#include "studio/preview/image_view.h"
#include "studio/shell/main_window.h"

namespace kestrel::studio {

namespace {

// The platform's keys for `standard`, or `fallback` where the desktop defines none (Preferences
// has no binding on some desktops).
QList<QKeySequence> KeysFor(QKeySequence::StandardKey standard, const QKeySequence& fallback = {}) {
  QList<QKeySequence> keys = QKeySequence::keyBindings(standard);
  if (keys.isEmpty() && !fallback.isEmpty()) keys << fallback;
  return keys;
}

// The two previews are plain widgets to Qt, which assistive tools would list as empty fillers;
// they are a picture and a drawing surface.
QAccessibleInterface* PreviewAccessible(const QString& className, QObject* object) {
  auto* widget = qobject_cast<QWidget*>(object);
  if (!widget) return nullptr;
  if (className == QLatin1String(TImageView::staticMetaObject.className()))
    return new QAccessibleWidget(widget, QAccessible::Graphic);
  if (className == QLatin1String(TGLWindow::staticMetaObject.className()))
    return new QAccessibleWidget(widget, QAccessible::Canvas);
  return nullptr;
}

}  // namespace

void TFKestrel::CreateViewMenuAndKeys() {
  Open1->setShortcuts(KeysFor(QKeySequence::Open));
  Exit1->setShortcuts(KeysFor(QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q)));
  Options2->setShortcuts(KeysFor(QKeySequence::Preferences));
  // Remove asks before it removes, so the Delete key is safe on it.
  RemoveselecteditemfromthisMASfile1->setShortcuts(KeysFor(QKeySequence::Delete));

  // Ctrl+= is the same key as Ctrl++ without Shift on most keyboards.
  QList<QKeySequence> zoomIn = KeysFor(QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Plus));
  if (!zoomIn.contains(QKeySequence(Qt::CTRL | Qt::Key_Equal))) zoomIn << QKeySequence(Qt::CTRL | Qt::Key_Equal);
  TBZoomIn->setShortcuts(zoomIn);
  TBZoomOut->setShortcuts(KeysFor(QKeySequence::ZoomOut, QKeySequence(Qt::CTRL | Qt::Key_Minus)));
  TBZoomReset->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));

  View1 = new QMenu(tr("&View"), this);
  View1->setObjectName(QStringLiteral("View1"));
  menuBar()->insertMenu(Tools1->menuAction(), View1);
  // Menu item and tool button share the command; the button shows its hint, the item its Alt letter.
  TBZoomIn->setText(tr("Zoom &in"));
  TBZoomOut->setText(tr("Zoom &out"));
  TBZoomReset->setText(tr("Zoom &reset"));
  View1->addActions({TBZoomIn, TBZoomOut, TBZoomReset});

  // The developer's mesh dump, otherwise a nameless tool button only.
  DumpMTSFile1 = new QAction(tr("D&ump MTS File as Text..."), this);
  DumpMTSFile1->setObjectName(QStringLiteral("DumpMTSFile1"));
  DumpMTSFile1->setStatusTip(tr("Write the contents of an MTS file as text beside it"));
  connect(DumpMTSFile1, &QAction::triggered, ToolButton6, &QAction::trigger);
  Tools1->insertAction(N3, DumpMTSFile1);
}

void TFKestrel::NameControlsForAssistiveTools() {
  static const bool installed = [] {
    QAccessible::installFactory(PreviewAccessible);
    return true;
  }();
  (void)installed;
  MASTreeNT->setAccessibleName(tr("Archive contents"));
  MASImgView->setAccessibleName(tr("Image preview"));
  glWindow->setAccessibleName(tr("Mesh preview"));
  StatusBar->setAccessibleName(tr("Status"));
  ToolBar1->setAccessibleName(tr("Tool bar"));
  // Tool buttons without a caption are read by their hint; the dump button has neither.
  for (QAction* action : ToolBar1->actions()) {
    QWidget* button = ToolBar1->widgetForAction(action);
    if (!button || action->isSeparator()) continue;
    const QString name = action == ToolButton6 ? tr("Dump MTS file as text") : action->toolTip();
    button->setAccessibleName(name);
  }
  // Qt's buttons that show the tools and menus a narrow window has no room for, and their menus.
  const std::pair<QWidget*, QString> overflows[] = {{ToolBar1, tr("More tools")}, {menuBar(), tr("More menus")}};
  for (const auto& [bar, name] : overflows) {
    auto* more = bar->findChild<QToolButton*>(QString::fromLatin1(bar == ToolBar1 ? "qt_toolbar_ext_button"
                                                                                    : "qt_menubar_ext_button"));
    if (!more) continue;
    more->setAccessibleName(name);
    for (QMenu* menu : more->findChildren<QMenu*>()) menu->setAccessibleName(name);
  }
  menuBar()->setAccessibleName(tr("Menu bar"));
  for (QMenu* menu : findChildren<QMenu*>())
    if (!menu->title().isEmpty()) menu->setAccessibleName(QString(menu->title()).remove(QLatin1Char('&')));
  for (int i = 0; i < Splitter1->count(); ++i)
    Splitter1->handle(i)->setAccessibleName(tr("Divider between contents and preview"));
  for (QWidget* grip : StatusBar->findChildren<QSizeGrip*>()) grip->setAccessibleName(tr("Resize the window"));
}

}  // namespace kestrel::studio
