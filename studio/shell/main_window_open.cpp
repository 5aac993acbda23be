// Opening an archive: the open dialog, recent files, the read-only test, header and table.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include "archive/file_io.h"
#include "studio/shell/archive_tree_model.h"
#include "studio/preview/gl_view.h"
#include "studio/preview/image_view.h"
#include "studio/shell/main_window.h"
#include "studio/qt_common/busy_cursor.h"
#include "studio/qt_common/native_path.h"
#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/studio_dialogs.h"

namespace kestrel::studio {

void TFKestrel::Open1Click() {
  FileDialogRequest request;
  request.objectName = QStringLiteral("ODMAS");
  request.title = tr("Open a MAS File");
  request.filter = QStringLiteral("MAS Files|*.MAS");
  request.startDirectory = settings_.MASInitialDir;
  const std::optional<QString> chosen = dialogs_.OpenFile(request);
  if (!chosen) return;
  if (isVisible()) repaint();
  OpenArchive(*chosen);
}

void TFKestrel::RecentFileClick(const QString& path) {
  // The entry leaves the list first; only a successful open puts it back at the top.
  recent_.Remove(path);
  RebuildRecentFilesMenu();
  OpenArchive(path);
}

void TFKestrel::OpenArchive(const QString& path, bool warnReadOnly) {
  if (isVisible()) repaint();  // a dialog that just closed must not linger on screen during the work
  const std::string native = path.isEmpty() ? std::string() : AbsolutePath(NativePath(path));
  if (!native.empty() && FileExists(native)) {
    const QString fullPath = FromNative(native);
    // Another archive starts with nothing selected, so that its first selection always shows;
    // a reload of the same archive after an edit keeps the selection.
    if (native != state_.ArchivePath) {
      state_.SelectedEntry = 0;
      ClearViews();  // nothing of the archive before stays on screen
    }
    ResetCommands();
    if (ReadArchiveHeader(fullPath, warnReadOnly)) {
      state_.ArchivePath = native;
      if (settings_.DumpTOC) DumpTableOfContents(FromNative(ReplaceExtension(native, ".log")));
      settings_.MASInitialDir = QFileInfo(fullPath).absolutePath();
      UpdateTitle();
      AddafiletothisMASfile1->setEnabled(true);
      RollallMTSObjectsinoneVRMLFile1->setEnabled(true);
      UpdateModCommands();
      BuildArchiveTree();
      recent_.Add(fullPath);
      RebuildRecentFilesMenu();
    } else {
      state_.ClearArchive();
      tree_model_->Clear();
      ClearViews();
      UpdateTitle();
      ResetCommands();
    }
  }
  if (isVisible()) {
    raise();
    activateWindow();
  }
}

bool TFKestrel::ReadArchiveHeader(const QString& path, bool warnReadOnly) {
  state_.ReadOnlyMedium = false;
  const std::string native = NativePath(path);
  if (!FileExists(native)) return false;

  if (!environment_.canWrite(native)) {
    state_.ReadOnlyMedium = true;
    if (settings_.ShowReadOnlyNotification && warnReadOnly)
      dialogs_.ShowMessage(MessageIcon::Warning, QString::fromLatin1(kStudioName), QString::fromLatin1(kReadOnlyWarning));
  }

  ArchiveLoad load;
  {
    BusyCursor busy;
    load = LoadArchiveTable(native);
  }
  QString error;
  switch (load.Result) {
    case ArchiveLoadResult::Loaded:
      state_.Header = load.Header;
      state_.Table = std::move(load.Table);
      state_.FileLength = load.FileLength;
      state_.DataStart = DataStartFor(state_.Table.size());
      return true;
    case ArchiveLoadResult::HeaderUnreadable:
      error = QStringLiteral(
                  "Unable to open file to read header. This file is probably not a valid F1-2002 MAS file. (Error #%1)")
                  .arg(load.ErrorCode);
      break;
    case ArchiveLoadResult::BadMagic:
      error = QString::fromLatin1(kNotCurrentArchive);
      break;
    case ArchiveLoadResult::TableUnreadable:
      error = QStringLiteral(
                  "Unable to read the table of contents. This file is probably not a valid F1-2002 MAS file. "
                  "(Error #%1)")
                  .arg(load.ErrorCode);
      break;
  }
  // Header, table and tree always belong to the same archive: a failed load leaves none open.
  state_.ClearArchive();
  dialogs_.ShowMessage(MessageIcon::Error, QString::fromLatin1(kStudioName), error);
  return false;
}

void TFKestrel::UpdateTitle() {
  QString title = QString::fromLatin1(kStudioName);
  if (state_.IsOpen()) title += QStringLiteral(" - [ ") + QFileInfo(FromNative(state_.ArchivePath)).fileName() + QStringLiteral(" ]");
  SetApplicationTitle(title);
  setWindowTitle(title);
}

void TFKestrel::ResetCommands() {
  for (QAction* command : {Exportimagetofile1, Importimagefromfile1, Exportnonimagefile1, Importnonimagefile1,
                           RemoveselecteditemfromthisMASfile1, ExportglTFFile1})
    command->setEnabled(false);
  AddafiletothisMASfile1->setEnabled(state_.IsOpen());
  for (QAction* zoom : {TBZoomIn, TBZoomOut, TBZoomReset}) zoom->setEnabled(false);
  state_.ZoomFactor = 1;
  MASImgView->SetScale(1);
  MASImgView->Blank();
  ExportSingleVRMLFile1->setEnabled(false);
  // Works on the whole archive, whatever is selected.
  RollallMTSObjectsinoneVRMLFile1->setEnabled(state_.IsOpen());
  UpdateModCommands();
}

}  // namespace kestrel::studio
