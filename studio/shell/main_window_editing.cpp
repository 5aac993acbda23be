// Editing the open archive: export and import of entries that are not images, adding and removing
// entries, and the three rewrites that the image import uses too.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QStatusBar>
#include <QTreeView>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <functional>
#include <optional>

#include "archive/archive_editing.h"
#include "archive/entry_name_encoding.h"
#include "archive/file_error.h"
#include "archive/file_io.h"
#include "archive/zbuffer.h"
#include "studio/open_archive/loaded_archive.h"
#include "studio/shell/archive_tree_model.h"
#include "studio/image/image_decoder.h"
#include "studio/shell/background_work.h"
#include "studio/shell/main_window.h"
#include "studio/qt_common/busy_cursor.h"
#include "studio/qt_common/native_path.h"
#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/studio_dialogs.h"

namespace kestrel::studio {

namespace {


// A node's place among all nodes of the tree, collapsed ones included, counted from the top.
int AbsolutePosition(const QAbstractItemModel& model, const QModelIndex& node) {
  int position = 0;
  bool found = false;
  std::function<void(const QModelIndex&)> visit = [&](const QModelIndex& parent) {
    for (int row = 0; row < model.rowCount(parent) && !found; ++row) {
      const QModelIndex child = model.index(row, 0, parent);
      if (child == node) {
        found = true;
        return;
      }
      ++position;
      visit(child);
    }
  };
  visit(QModelIndex());
  return found ? position : -1;
}

QModelIndex NodeAtPosition(const QAbstractItemModel& model, int position) {
  QModelIndex result;
  std::function<void(const QModelIndex&)> visit = [&](const QModelIndex& parent) {
    for (int row = 0; row < model.rowCount(parent) && position >= 0; ++row) {
      const QModelIndex child = model.index(row, 0, parent);
      if (position-- == 0) {
        result = child;
        return;
      }
      visit(child);
    }
  };
  visit(QModelIndex());
  return result;
}

// Which nodes of the tree are open, so that a rewrite, which rebuilds the tree, keeps them open.
struct TreeShape {
  bool root = false, numFiles = false;
  std::array<bool, ArchiveTreeModel::kGroupCount> groups{};
  std::vector<int> entries;  // table positions
};

TreeShape ShapeOf(const QTreeView& view, const ArchiveTreeModel& model, int entryCount) {
  TreeShape shape;
  if (model.IsEmpty()) return shape;
  shape.root = view.isExpanded(model.RootNode());
  shape.numFiles = view.isExpanded(model.NumFilesNode());
  for (int g = 0; g < ArchiveTreeModel::kGroupCount; ++g) shape.groups[static_cast<size_t>(g)] = view.isExpanded(model.GroupNode(g));
  for (int i = 0; i < entryCount; ++i)
    if (view.isExpanded(model.EntryNode(i))) shape.entries.push_back(i);
  return shape;
}

// `moved` gives an entry's new position, or -1 when it is gone.
void Restore(QTreeView& view, const ArchiveTreeModel& model, const TreeShape& shape, int entryCount,
             const std::function<int(int)>& moved) {
  if (model.IsEmpty()) return;
  view.setExpanded(model.RootNode(), shape.root || view.isExpanded(model.RootNode()));
  view.setExpanded(model.NumFilesNode(), shape.numFiles);
  for (int g = 0; g < ArchiveTreeModel::kGroupCount; ++g) view.setExpanded(model.GroupNode(g), shape.groups[static_cast<size_t>(g)]);
  for (int i : shape.entries) {
    const int now = moved(i);
    if (now >= 0 && now < entryCount) view.expand(model.EntryNode(now));
  }
}

// The message for a file error in an edit, naming the archive; for a refused write, whether it is
// the file or its folder that may not be written.
QString EditFailure(const EInOutError& e, const std::string& archive) {
  if (e.Kind() == FileErrorKind::AccessDenied) {
    const std::string folder = DirectoryOf(archive).empty() ? "." : DirectoryOf(archive);
    if (::eaccess(folder.c_str(), W_OK) != 0)
      return QString::fromLocal8Bit(FileErrorText(e.Kind()) + ": the folder " + folder + " is read-only, so " +
                                    archive + " cannot be rewritten.");
    return QString::fromLocal8Bit(FileErrorText(e.Kind()) + ": " + archive + " is read-only.");
  }
  return QString::fromLocal8Bit(FileErrorText(e.Kind()) + ": " + (e.Path().empty() ? archive : e.Path()));
}

struct OtherFileDialog {
  const char* filter;
  const char* title;
  const char* suffix;
};

constexpr char kExportOverArchive[] = "This is the open MAS file itself; choose another file to export to.";

OtherFileDialog SaveDialogFor(int32_t fileType) {
  if (fileType == kMasTypeMTS) return {"MTS Files (*.MTS)|*.MTS", "Save a MTS File", "mts"};
  if (fileType == kMasTypeANM) return {"ANM Files (*.ANM)|*.ANM", "Save a ANM File", "anm"};
  return {"All Files (*.*)|*.*", "Save a File", ""};
}

// One rewrite with its before and after: the read-only refusal, the reopen, and on failure the
// message. `rewrite` gets the archive as the studio loaded it.
// The rewrite runs on a worker, with a progress dialog and Cancel once it runs past half a second;
// a cancelled one leaves the archive as it was and says so in the status line.
bool RunRewrite(TFKestrel& window, StudioDialogs& dialogs,
                const std::function<bool(const std::string&)>& canWrite,
                const std::function<void(const LoadedArchive&, const RewriteControl&)>& rewrite) {
  OpenArchiveState& state = window.State();
  QString error;
  bool cancelled = false;
  try {
    // The studio's own read-only test refuses too, so that what it found at the open holds.
    if (!canWrite(state.ArchivePath)) throw EInOutError(FileErrorKind::AccessDenied, state.ArchivePath, EACCES);
    const LoadedArchive archive = LoadedFrom(state);
    constexpr int kSteps = 1000;
    RunInBackground(&window, QObject::tr("Writing %1").arg(QFileInfo(FromNative(state.ArchivePath)).fileName()), kSteps,
                    [&](WorkProgress& progress) {
                      RewriteControl control;
                      control.Progress = [&](int64_t written, int64_t total) {
                        progress.Done = total > 0 ? static_cast<int>(written * kSteps / total) : kSteps;
                      };
                      control.CancelRequested = [&] { return progress.CancelRequested.load(); };
                      rewrite(archive, control);
                    });
  } catch (const ERewriteCancelled&) {
    cancelled = true;
  } catch (const EInOutError& e) {
    error = EditFailure(e, state.ArchivePath);
  } catch (const EArchiveEditError& e) {
    error = QString::fromLocal8Bit(e.what());
  }
  // The state was never changed by the edit, so the window is right while the message is up.
  if (!error.isEmpty()) dialogs.ShowMessage(MessageIcon::Error, QString::fromLatin1(kStudioName), error);
  // Also after a failure: the state comes from the file again. The edit's message is the only one:
  // the reload does not warn about a read-only medium again.
  window.OpenArchive(FromNative(state.ArchivePath), /*warnReadOnly=*/false);
  if (cancelled) window.statusBar()->showMessage(QObject::tr("Cancelled; the archive was not changed"));
  return error.isEmpty() && !cancelled;
}

// The compression step before a rewrite; its failure is shown and ends the edit with nothing written.
std::optional<EncodedEntry> Encode(StudioDialogs& dialogs, const std::vector<uint8_t>& fileBytes) {
  try {
    return EncodeEntryContent(fileBytes);
  } catch (const EZLibError& e) {
    dialogs.ShowMessage(MessageIcon::Error, QString::fromLatin1(kStudioName), QString::fromLocal8Bit(e.what()));
    return std::nullopt;
  }
}

}  // namespace

bool TFKestrel::ReplaceEntry(int index, const std::vector<uint8_t>& fileBytes) {
  if (!state_.IsOpen() || index < 0 || index >= state_.FileCount()) return false;
  const std::optional<EncodedEntry> content = Encode(dialogs_, fileBytes);
  if (!content) return false;
  const int selectedNode = AbsolutePosition(*tree_model_, MASTreeNT->currentIndex());
  const TreeShape shape = ShapeOf(*MASTreeNT, *tree_model_, state_.FileCount());
  const bool ok = RunRewrite(*this, dialogs_, environment_.canWrite, [&](const LoadedArchive& archive, const RewriteControl& control) {
    kestrel::ReplaceEntry(archive, static_cast<size_t>(index), *content, control);
  });
  if (!state_.IsOpen()) return ok;
  // The tree has the same shape as before, so the same position is the same entry or detail line.
  // SelectedEntry is kept: the selection does not show the entry again.
  Restore(*MASTreeNT, *tree_model_, shape, state_.FileCount(), [](int i) { return i; });
  MASTreeNT->expand(tree_model_->RootNode());
  MASTreeNT->expand(tree_model_->NumFilesNode());
  const QModelIndex node = NodeAtPosition(*tree_model_, selectedNode);
  if (selectedNode >= 0 && node.isValid()) {
    for (QModelIndex parent = node.parent(); parent.isValid(); parent = parent.parent()) MASTreeNT->expand(parent);
    MASTreeNT->setCurrentIndex(node);
    MASTreeNT->expandRecursively(node);
  }
  // The reload reset the commands: they follow the selection again. A picture is shown anew, as
  // its content may have changed; other entries are not.
  const int selected = state_.SelectedEntry - 1;
  if (selected >= 0 && selected < state_.FileCount()) {
    if (ImageKindOfEntryType(state_.Table[static_cast<size_t>(selected)].FileType))
      ShowEntry(selected);
    else
      SetCommandsForEntry(selected);
  }
  return ok;
}

bool TFKestrel::AppendEntry(const QString& name, int32_t fileType, const std::vector<uint8_t>& fileBytes) {
  if (!state_.IsOpen()) return false;
  const std::optional<std::string> stored = Utf8ToEntryName(name.toStdString());
  if (!stored) {
    dialogs_.ShowMessage(MessageIcon::Error, QString::fromLatin1(kStudioName),
                         name + QStringLiteral(": the name cannot be stored in the archive; nothing was added"));
    return false;
  }
  const std::optional<EncodedEntry> content = Encode(dialogs_, fileBytes);
  if (!content) return false;
  const TreeShape shape = ShapeOf(*MASTreeNT, *tree_model_, state_.FileCount());
  const int selected = state_.SelectedEntry - 1;
  const bool ok = RunRewrite(*this, dialogs_, environment_.canWrite, [&](const LoadedArchive& archive, const RewriteControl& control) {
    kestrel::AppendEntry(archive, *stored, fileType, *content, control);
  });
  Restore(*MASTreeNT, *tree_model_, shape, state_.FileCount(), [](int i) { return i; });
  // The new entry is selected, shown and scrolled to; after a failure the selection is as before.
  ReselectAfterEdit(ok ? state_.FileCount() - 1 : selected);
  return ok;
}

bool TFKestrel::RemoveEntry(int index) { return RemoveEntries({index}); }

bool TFKestrel::RemoveEntries(const std::vector<int>& entries) {
  std::vector<size_t> positions;
  for (int index : entries)
    if (index >= 0 && index < state_.FileCount()) positions.push_back(static_cast<size_t>(index));
  if (!state_.IsOpen() || positions.empty()) return false;
  std::sort(positions.begin(), positions.end());
  const TreeShape shape = ShapeOf(*MASTreeNT, *tree_model_, state_.FileCount());
  const int selected = state_.SelectedEntry - 1;
  const bool ok = RunRewrite(*this, dialogs_, environment_.canWrite, [&](const LoadedArchive& archive, const RewriteControl& control) {
    kestrel::RemoveEntries(archive, positions, control);
  });
  // An entry that stays moves up by the number of removed entries before it.
  Restore(*MASTreeNT, *tree_model_, shape, state_.FileCount(), [ok, &positions](int i) {
    if (!ok) return i;
    const auto before = std::lower_bound(positions.begin(), positions.end(), static_cast<size_t>(i));
    if (before != positions.end() && *before == static_cast<size_t>(i)) return -1;
    return i - static_cast<int>(before - positions.begin());
  });
  if (ok) {
    // What was on show may be an entry that went, and later entries moved up.
    state_.SelectedEntry = -1;
    ClearViews();
    ResetCommands();
  } else {
    ReselectAfterEdit(selected);
  }
  return ok;
}

void TFKestrel::ReselectAfterEdit(int index) {
  state_.SelectedEntry = -1;
  ResetCommands();
  if (index < 0 || index >= state_.FileCount()) return;
  const QModelIndex node = tree_model_->EntryNode(index);
  for (QModelIndex parent = node.parent(); parent.isValid(); parent = parent.parent()) MASTreeNT->expand(parent);
  MASTreeNT->setCurrentIndex(node);  // shows the entry and sets the commands for it
  MASTreeNT->scrollTo(node);
}

void TFKestrel::Exportnonimagefile1Click() {
  const int index = state_.SelectedEntry - 1;
  if (index < 0 || index >= state_.FileCount()) return;
  const TMAS_FileEntry& entry = state_.Table[static_cast<size_t>(index)];
  const OtherFileDialog kind = SaveDialogFor(entry.FileType);
  FileDialogRequest request;
  request.objectName = QStringLiteral("SDOtherFile");
  request.title = tr(kind.title);
  request.filter = QString::fromLatin1(kind.filter);
  request.defaultSuffix = QString::fromLatin1(kind.suffix);
  request.startDirectory = settings_.BMPInitialDir;
  request.proposedName = QString::fromStdString(EntryFileName(entry.Name()));
  const std::optional<QString> chosen = SaveOtherFile(request);
  if (!chosen) return;
  // Replacing the archive by one of its own entries would lose every other entry.
  if (IsSameFile(NativePath(*chosen), state_.ArchivePath)) {
    dialogs_.ShowMessage(MessageIcon::Error, QString::fromLatin1(kStudioName), tr(kExportOverArchive));
    return;
  }
  if (ExtractEntryToFile(index, *chosen)) settings_.BMPInitialDir = FolderOf(*chosen);
}

void TFKestrel::Importnonimagefile1Click() {
  if (!FileExists(state_.ArchivePath)) return;
  const int index = state_.SelectedEntry - 1;
  if (index < 0 || index >= state_.FileCount()) return;
  FileDialogRequest request;
  request.objectName = QStringLiteral("ODOtherFile");
  request.title = tr("Load from File");
  request.filter = QStringLiteral("MTS Files (*.MTS)|*.MTS|ANM Files (*.ANM)|*.ANM|All Files (*.*)|*.*");
  request.selectedFilter = other_file_filter_;
  request.chosenFilter = &other_file_filter_;
  request.startDirectory = settings_.BMPInitialDir;
  request.proposedName = QString::fromStdString(EntryFileName(state_.Table[static_cast<size_t>(index)].Name()));
  const std::optional<QString> chosen = dialogs_.OpenFile(request);
  if (!chosen) return;
  BusyCursor busy;
  if (isVisible()) repaint();
  settings_.BMPInitialDir = FolderOf(*chosen);
  // A file that cannot be read reaches the application error dialog; the archive is untouched.
  ReplaceEntry(index, ReadWholeFile(NativePath(*chosen)));
}

void TFKestrel::AddafiletothisMASfile1Click() {
  if (!state_.IsOpen()) return;
  FileDialogRequest request;
  request.objectName = QStringLiteral("ODAddFile");
  request.filter = QStringLiteral(
      "All Supported|*.BMP;*.MTS;*.ANM;*.TGA|BMP Files (*.BMP)|*.BMP|MTS Files (*.MTS)|*.MTS|ANM Files (*.ANM)|*.ANM|"
      "TGA Files (*.TGA)|*.TGA|All Files|*.*");
  request.startDirectory = settings_.BMPInitialDir;
  const std::optional<QString> chosen = dialogs_.OpenFile(request);
  if (!chosen) return;
  const std::string path = NativePath(*chosen);
  settings_.BMPInitialDir = FolderOf(*chosen);
  std::string name;
  try {
    name = AddedEntryName(path);  // Windows-1252 bytes, stored as they are
  } catch (const EArchiveEditError& e) {
    dialogs_.ShowMessage(MessageIcon::Error, QString::fromLatin1(kStudioName), QString::fromLocal8Bit(e.what()));
    return;
  }
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  AppendEntry(QString::fromStdString(EntryNameToUtf8(name)), AddedEntryType(path), bytes);
}

void TFKestrel::RemoveselecteditemfromthisMASfile1Click() {
  const std::vector<int> selected = SelectedEntries();
  if (selected.size() > 1) {
    // Asked once for the lot; an archive keeps at least one entry.
    if (selected.size() >= static_cast<size_t>(state_.FileCount())) return;
    const QString question = QStringLiteral("Are you sure you want to remove %1 entries?").arg(selected.size());
    if (!dialogs_.AskYesNo(QString::fromLatin1(kStudioName), question)) return;
    const QString archiveName = QFileInfo(FromNative(state_.ArchivePath)).fileName();
    if (RemoveEntries(selected)) statusBar()->showMessage(tr("Removed %1 entries from %2").arg(selected.size()).arg(archiveName));
    return;
  }
  const int index = state_.SelectedEntry - 1;
  if (index < 0 || index >= state_.FileCount()) return;
  const std::string name = state_.Table[static_cast<size_t>(index)].Name();
  const QString question =
      QStringLiteral("Are you sure you want to remove ") + QString::fromStdString(PrintableEntryName(name));
  if (!dialogs_.AskYesNo(QString::fromLatin1(kStudioName), question)) return;
  RemoveEntry(index);
}

}  // namespace kestrel::studio
