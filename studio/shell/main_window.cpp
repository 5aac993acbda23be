#include "studio/shell/main_window.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QResizeEvent>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>

#include "studio/image/image_decoder.h"
#include "studio/qt_common/application_error_dialog.h"
#include "studio/shell/archive_tree_model.h"
#include "studio/preview/gl_view.h"
#include "studio/preview/image_view.h"
#include "studio/qt_common/scratch_directory.h"
#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/studio_dialogs.h"
#include "studio/soundbank/sdt_editor.h"

namespace kestrel::studio {

namespace {

// Holds the OpenGL view and the image view one over the other, both filling the panel.
class ViewerPanel : public QWidget {
 public:
  explicit ViewerPanel(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("PViewer")); }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    for (QObject* child : children())
      if (auto* view = qobject_cast<QWidget*>(child)) view->setGeometry(QRect(QPoint(0, 0), event->size()));
    QWidget::resizeEvent(event);
  }
};

// Draws the selected node as an ordinary one while the tree does not have the focus, so the
// selection disappears and a compressed entry keeps its navy text.
class HideSelectionDelegate : public QStyledItemDelegate {
 public:
  explicit HideSelectionDelegate(QTreeView* view) : QStyledItemDelegate(view), view_(view) {}

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!view_->hasFocus()) option->state &= ~QStyle::State_Selected;
  }

 private:
  QTreeView* view_;
};

}  // namespace

TFKestrel::TFKestrel(StudioDialogs& dialogs, StudioEnvironment environment, QWidget* parent)
    : QMainWindow(parent),
      dialogs_(dialogs),
      environment_(std::move(environment)),
      settings_store_(environment_.settingsPath),
      scratch_directory_(environment_.scratchDirectory.isEmpty() ? ScratchDirectoryPath()
                                                                 : environment_.scratchDirectory) {
  setObjectName(QStringLiteral("FKestrel"));
  resize(600, 481);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = geometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }

  // Recent files whose archive has gone since the last run are dropped at once, and the user told.
  QStringList gone;
  recent_.Load(settings_store_.ReadRecentFiles(), [&gone](const QString& path) {
    if (QFile::exists(path)) return true;
    gone << path;
    return false;
  });
  state_.ArchivePath.clear();
  state_.FileLength = -1;
  state_.ZoomFactor = 1;

  CreateActions();
  CreateLayout();
  CreateMenus();
  CreateToolBar();
  CreateViewMenuAndKeys();
  NameControlsForAssistiveTools();
  CreateArchiveManager();
  settings_ = settings_store_.Read();
  CreateDialogs();
  ApplyDeveloperMode();
  RebuildRecentFilesMenu();
  UpdateTitle();
  ResetCommands();
  // The sound bank editor is made once, hidden, and shown by Tools > SDT Editor.
  new TFKestrelSDT(dialogs_, settings_, audio::SystemAudioLibrary(),
                   [this](const QString& name, const std::function<void()>& handler) { RunCommand(name, handler); }, this);

  if (!gone.isEmpty()) dialogs_.ShowMessage(MessageIcon::Warning, QString::fromLatin1(kStudioName), GoneFromRecentFiles(gone));
  if (!environment_.startupArchive.isEmpty()) {
    const QString path = environment_.startupArchive;
    RunCommand(QStringLiteral("open at start"), [this, path] { OpenArchive(path); });
  }
}

TFKestrel::~TFKestrel() { ProgramEnd(); }

void TFKestrel::CreateLayout() {
  StatusBar = new QStatusBar(this);
  StatusBar->setObjectName(QStringLiteral("StatusBar"));
  StatusBar->setSizeGripEnabled(true);
  setStatusBar(StatusBar);

  Splitter1 = new QSplitter(Qt::Horizontal, this);
  Splitter1->setObjectName(QStringLiteral("Splitter1"));
  Splitter1->setHandleWidth(3);
  Splitter1->setChildrenCollapsible(false);

  PTree = new QWidget(Splitter1);
  PTree->setObjectName(QStringLiteral("PTree"));
  auto* treeLayout = new QHBoxLayout(PTree);
  treeLayout->setContentsMargins(0, 0, 0, 0);
  MASTreeNT = new QTreeView(PTree);
  MASTreeNT->setObjectName(QStringLiteral("MASTreeNT"));
  MASTreeNT->header()->hide();
  MASTreeNT->setEditTriggers(QAbstractItemView::NoEditTriggers);
  MASTreeNT->setRootIsDecorated(true);
  MASTreeNT->setUniformRowHeights(true);
  // Long detail lines widen the column and the tree scrolls sideways instead of cutting them.
  MASTreeNT->header()->setStretchLastSection(false);
  MASTreeNT->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  MASTreeNT->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  MASTreeNT->setSelectionMode(QAbstractItemView::SingleSelection);
  // The selection is not shown while the tree does not have the focus.
  MASTreeNT->setItemDelegate(new HideSelectionDelegate(MASTreeNT));
  QPalette palette = MASTreeNT->palette();
  palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Inactive, QPalette::Base));
  MASTreeNT->setPalette(palette);
  tree_model_ = new ArchiveTreeModel(this);
  MASTreeNT->setModel(tree_model_);
  treeLayout->addWidget(MASTreeNT);

  PViewer = new ViewerPanel(Splitter1);
  MASImgView = new TImageView(PViewer);
  // Created last, so that it lies over the image view at first.
  glWindow = new TGLWindow(environment_.openGLAvailable ? *environment_.openGLAvailable : TGLWindow::Available(),
                           PViewer);
  ConnectMeshPreview();

  Splitter1->addWidget(PTree);
  Splitter1->addWidget(PViewer);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({250, 350});
  setCentralWidget(Splitter1);

  connect(MASTreeNT, &QTreeView::clicked, this, [this] { RunCommand(QStringLiteral("MASTreeNTClick"), [this] { MASTreeNTChange(); }); });
  connect(MASTreeNT->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
    RunCommand(QStringLiteral("MASTreeNTChange"), [this] {
      try {
        MASTreeNTChange();
      } catch (const ImageDecodeError& e) {
        // Passed on the way by keyboard: said on the status line, the next key still works.
        if (!browsing_by_keyboard_) throw;
        StatusBar->showMessage(QString::fromLocal8Bit(e.what()));
      }
    });
  });
  MASTreeNT->installEventFilter(this);
}

bool TFKestrel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == MASTreeNT && (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress)) {
    // Holds while the tree handles this key; the selection it moves to is reported meanwhile.
    browsing_by_keyboard_ = event->type() == QEvent::KeyPress;
    if (browsing_by_keyboard_) QTimer::singleShot(0, this, [this] { browsing_by_keyboard_ = false; });
  }
  return QMainWindow::eventFilter(watched, event);
}

void TFKestrel::RunCommand(const QString& name, const std::function<void()>& command) {
  try {
    command();
  } catch (...) {
    ReportUnhandledError(dialogs_, name);
  }
}

void TFKestrel::SaveSettings() {
  settings_store_.WriteAtExit(settings_);
  settings_store_.WriteRecentFiles(recent_.Items());
}

void TFKestrel::OpenHandedOver(const QString& path) {
  if (QWidget* modal = QApplication::activeModalWidget()) {
    // A dialog waits for the user: it comes to the front, and the archive opens once it is answered.
    modal->raise();
    modal->activateWindow();
    QTimer::singleShot(250, this, [this, path] { OpenHandedOver(path); });
    return;
  }
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
  RunCommand(QStringLiteral("open handed over"), [this, path] { OpenArchive(path); });
}

void TFKestrel::ProgramEnd() {
  if (ended_) return;
  ended_ = true;
  settings_store_.WriteAtExit(settings_);
  state_.ClearArchive();
  RemoveScratchDirectory(scratch_directory_);
  settings_store_.WriteRecentFiles(recent_.Items());
}

}  // namespace kestrel::studio
