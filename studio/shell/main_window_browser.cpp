// The archive browser: the tree, what a selection switches on, and access to the entries.
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QStatusBar>
#include <QTreeView>

#include "archive/entry_name_encoding.h"
#include "studio/shell/archive_tree_model.h"
#include "studio/open_archive/entry_access.h"
#include "studio/preview/gl_view.h"
#include "studio/preview/image_view.h"
#include "studio/shell/main_window.h"
#include "studio/image/image_decoder.h"
#include "studio/qt_common/native_path.h"
#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/studio_dialogs.h"
#include "studio/open_archive/table_of_contents.h"

namespace kestrel::studio {

void TFKestrel::BuildArchiveTree() {
  MASTreeNT->setUpdatesEnabled(false);
  tree_model_->Build(QFileInfo(FromNative(state_.ArchivePath)).fileName(), state_.Table,
                     state_.FileLength);
  MASTreeNT->expand(tree_model_->RootNode());
  MASTreeNT->setUpdatesEnabled(true);
}

void TFKestrel::MASTreeNTChange() {
  const QModelIndex current = MASTreeNT->currentIndex();
  if (!current.isValid()) return;
  // A click opens the node's detail lines; moving by keyboard goes from entry to entry.
  if (!browsing_by_keyboard_) MASTreeNT->expand(current);
  const int previous = state_.SelectedEntry;
  state_.SelectedEntry = current.data(ArchiveTreeModel::EntryIndexRole).toInt();
  if (state_.SelectedEntry != previous && state_.SelectedEntry != 0) ShowEntry(state_.SelectedEntry - 1);
}

void TFKestrel::SetCommandsForEntry(int index) {
  if (index < 0 || index >= state_.FileCount()) return;
  const int32_t type = state_.Table[static_cast<size_t>(index)].FileType;
  if (ImageKindOfEntryType(type).has_value()) {
    // The zoom factor carries over from one image to the next.
    TBZoomIn->setEnabled(true);
    Exportnonimagefile1->setEnabled(false);
    Importnonimagefile1->setEnabled(false);
    ExportSingleVRMLFile1->setEnabled(false);
  } else {
    ResetCommands();
    Exportnonimagefile1->setEnabled(true);
    if (!state_.ReadOnlyMedium) Importnonimagefile1->setEnabled(true);
    ExportSingleVRMLFile1->setEnabled(type == kMasTypeMTS);
  }
  ExportglTFFile1->setEnabled(type == kMasTypeMTS);
  if (state_.FileCount() >= 2) RemoveselecteditemfromthisMASfile1->setEnabled(true);
}

void TFKestrel::ShowEntry(int index) {
  if (index < 0 || index >= state_.FileCount()) return;
  const int32_t type = state_.Table[static_cast<size_t>(index)].FileType;
  SetCommandsForEntry(index);
  if (ImageKindOfEntryType(type).has_value()) {
    ShowImageEntry(index);
    MASImgView->show();
    glWindow->hide();
    glWindow->SetMouseHandlersAttached(false);
  } else if (type == kMasTypeMTS) {
    NoteMeshEntryOnShow(index);
    // The view is shown before the model is drawn: a hidden view draws nothing, and it takes its
    // size and projection only as it is shown.
    MASImgView->hide();
    glWindow->show();
    glWindow->SetMouseHandlersAttached(true);
    ShowMTS(index);
  }
}

void TFKestrel::ShowProblem(MessageIcon icon, const QString& caption, const QString& text) {
  if (browsing_by_keyboard_)
    StatusBar->showMessage(text);
  else
    dialogs_.ShowMessage(icon, caption, text);
}

void TFKestrel::ClearViews() {
  ReleaseMeshModel();
  MASImgView->Blank();
  MASImgView->hide();
  glWindow->show();
  glWindow->SetMouseHandlersAttached(false);
  RedrawMeshNow();
}

void TFKestrel::DumpTableOfContents(const QString& path) {
  if (state_.ReadOnlyMedium || state_.FileCount() == 0) return;
  const std::string text =
      FormatTableOfContents(QFileInfo(FromNative(state_.ArchivePath)).fileName().toStdString(), state_);
  // A listing that cannot be written in full is reported like one that cannot be created; the open goes on.
  if (const int code = WriteListingFile(NativePath(path), text))
    dialogs_.ShowMessage(MessageIcon::Error, QString::fromLatin1(kStudioName),
                         QStringLiteral("Unable to create TOC dumpfile (Error #%1)").arg(code));
}

namespace {

// Why an entry cannot be read, naming it.
QString ReadFailure(const OpenArchiveState& state, int index, const EntryBytes& bytes) {
  return QStringLiteral("Failed to read %1: %2.")
      .arg(QString::fromStdString(PrintableEntryName(state.Table[static_cast<size_t>(index)].Name())),
           QString::fromLocal8Bit(bytes.Message));
}

}  // namespace

std::optional<std::vector<uint8_t>> TFKestrel::ReadEntryData(int index) {
  EntryBytes bytes = ReadEntryBytes(state_, index);
  const QString caption = QString::fromLatin1(kStudioName);
  switch (bytes.Problem) {
    case EntryProblem::None: return std::move(bytes.Data);
    case EntryProblem::NoArchive: break;
    case EntryProblem::OutOfMemory:
      ShowProblem(MessageIcon::Error, caption, QString::fromLatin1(kNoMemoryForPreview));
      break;
    case EntryProblem::ReadFailed:
      ShowProblem(MessageIcon::Error, caption, ReadFailure(state_, index, bytes));
      break;
    case EntryProblem::Damaged:
      ShowProblem(MessageIcon::None, caption, QString::fromLocal8Bit(bytes.Message));
      break;
  }
  return std::nullopt;
}

bool TFKestrel::ExtractEntryToFile(int index, const QString& path) {
  // A target that cannot be written throws; it reaches the application error dialog.
  const EntryBytes bytes = ExtractEntryBytesToFile(state_, index, NativePath(path));
  const QString caption = QString::fromLatin1(kStudioName);
  if (bytes.Problem == EntryProblem::OutOfMemory)
    dialogs_.ShowMessage(MessageIcon::Error, caption, QString::fromLatin1(kNoMemoryForPreview));
  else if (bytes.Problem == EntryProblem::ReadFailed)
    dialogs_.ShowMessage(MessageIcon::Error, caption, ReadFailure(state_, index, bytes));
  else if (bytes.Problem == EntryProblem::Damaged)
    dialogs_.ShowMessage(MessageIcon::None, caption, QString::fromLocal8Bit(bytes.Message));
  return bytes.Ok();
}

int TFKestrel::FindEntryByName(const QString& name) const {
  const std::optional<std::string> stored = Utf8ToEntryName(name.toStdString());
  return stored ? kestrel::studio::FindEntryByName(state_, *stored) : -1;
}

}  // namespace kestrel::studio
