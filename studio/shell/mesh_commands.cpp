// The developer's mesh commands: the two VRML exports and the text dump of a mesh file.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTreeView>
#include <exception>
#include <stdexcept>

#include "archive/file_error.h"
#include "archive/file_io.h"
#include "studio/open_archive/entry_access.h"
#include "studio/shell/main_window.h"
#include "studio/mesh/mts_decoder.h"
#include "studio/mesh/mts_dump.h"
#include "studio/mesh/vrml_export.h"
#include "studio/qt_common/busy_cursor.h"
#include "studio/qt_common/native_path.h"
#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/studio_dialogs.h"

namespace kestrel::studio {

namespace {

// "ddd mmm dd hh:nn:ss yyyy" with the day and month names of the user's locale.
std::string VRMLDateNow() {
  return QLocale().toString(QDateTime::currentDateTime(), QStringLiteral("ddd MMM dd HH:mm:ss yyyy")).toStdString();
}

FileDialogRequest VRMLDialog(const QString& startDirectory, const QString& proposedName) {
  FileDialogRequest request;
  request.objectName = QStringLiteral("SDOtherFile");
  request.title = QStringLiteral("Save a VRML File");
  request.filter = QStringLiteral("VRML Files (*.WRL)|*.WRL");
  request.startDirectory = startDirectory;
  request.proposedName = proposedName;
  request.defaultSuffix = QStringLiteral("wrl");
  return request;
}

}  // namespace

std::optional<QString> TFKestrel::SaveOtherFile(const FileDialogRequest& request) {
  // One dialog serves the entry export, both VRML exports and the mesh dump; like a dialog that
  // stays alive it is left where it was, also after a cancel.
  const std::optional<QString> chosen = dialogs_.SaveFile(request);
  if (chosen) other_file_last_ = *chosen;
  else if (!request.proposedName.isEmpty()) other_file_last_ = QDir(request.startDirectory).filePath(request.proposedName);
  return chosen;
}

bool TFKestrel::RefuseOpenArchiveAsTarget(const std::string& path) {
  // Written over the open archive, the export would lose every entry in it.
  if (!IsSameFile(path, state_.ArchivePath)) return false;
  dialogs_.ShowMessage(MessageIcon::Error, QString::fromLatin1(kStudioName),
                       QString::fromLocal8Bit(path + " is the open archive; choose another file"));
  return true;
}

std::optional<int> TFKestrel::MeshEntryOnShow() const {
  // The index counts in the archive it was recorded for; after another archive was opened, or an
  // edit moved the entries, it no longer names the mesh the user saw.
  if (!mesh_view_.CurrentMeshEntry || mesh_entry_archive_ != state_.ArchivePath) return std::nullopt;
  const int index = *mesh_view_.CurrentMeshEntry;
  if (index < 0 || index >= state_.FileCount()) return std::nullopt;
  const TMAS_FileEntry& entry = state_.Table[static_cast<size_t>(index)];
  if (entry.FileType != kMasTypeMTS || entry.Name() != mesh_entry_name_) return std::nullopt;
  return index;
}

void TFKestrel::ExportSingleVRMLFile1Click() {
  BusyCursor busy;
  if (!MASTreeNT->currentIndex().isValid()) return;
  const QString caption = QString::fromLatin1(kStudioName);
  const MeshReport report = [this, caption](const std::string& message) {
    dialogs_.ShowMessage(MessageIcon::Error, caption, QString::fromLocal8Bit(message));
  };
  const std::optional<int> index = MeshEntryOnShow();
  std::optional<std::vector<uint8_t>> data;
  if (index) data = ReadEntryData(*index);
  AnyMesh mesh;
  if (!data || !DecodeAnyMesh(data->data(), data->size(), mesh, report)) {
    dialogs_.ShowMessage(MessageIcon::None, caption, QString::fromLatin1(kVRMLExportErrorMessage));
    return;
  }
  const std::string entryName = state_.Table[static_cast<size_t>(*index)].Name();
  const std::optional<QString> chosen = SaveOtherFile(VRMLDialog(
      settings_.BMPInitialDir, QString::fromLatin1(ReplaceExtension(entryName, ".WRL"))));
  if (!chosen) return;
  if (RefuseOpenArchiveAsTarget(NativePath(*chosen))) return;
  WriteMeshVRML(NativePath(*chosen), VRMLObjectName(entryName), mesh, false, VRMLDateNow(), report);
  settings_.BMPInitialDir = FolderOf(*chosen);
}

void TFKestrel::RollallMTSObjectsinoneVRMLFile1Click() {
  if (state_.Table.empty()) return;
  const QString caption = QString::fromLatin1(kStudioName);
  bool anyMesh = false;
  for (const TMAS_FileEntry& entry : state_.Table) anyMesh = anyMesh || entry.FileType == kMasTypeMTS;
  if (!anyMesh) {
    dialogs_.ShowMessage(MessageIcon::Error, caption, QString::fromLatin1(kNoMeshEntriesMessage));
    return;
  }
  const std::optional<QString> chosen = SaveOtherFile(
      VRMLDialog(settings_.BMPInitialDir, FromNative(ReplaceExtension(state_.ArchivePath, ".WRL"))));
  if (!chosen) return;
  if (RefuseOpenArchiveAsTarget(NativePath(*chosen))) return;
  BusyCursor busy;

  // Messages about one mesh say which entry they belong to.
  std::string current;
  const MeshReport report = [this, caption, &current](const std::string& message) {
    const std::string text = current.empty() ? message : current + ": " + message;
    dialogs_.ShowMessage(MessageIcon::Error, caption, QString::fromLocal8Bit(text));
  };
  const MeshEntryStarted started = [this, &current](size_t index) {
    current = index < state_.Table.size() ? state_.Table[index].Name() : std::string();
  };
  const MeshEntryReader read = [this](size_t index) { return EntryDataOrThrow(state_, static_cast<int>(index)); };
  ExportAllMeshesVRML(state_.Table, read, NativePath(*chosen), VRMLDateNow(), report, started);
  settings_.BMPInitialDir = FolderOf(*chosen);
}

void TFKestrel::ToolButton6Click() {
  FileDialogRequest request;
  request.objectName = QStringLiteral("SDOtherFile");
  request.title = QStringLiteral("Save a MTS File");
  request.filter = QStringLiteral("MTS Files (*.MTS)|*.MTS");
  request.defaultSuffix = QStringLiteral("mts");
  // Folder and name stay as the dialog last had them.
  if (!other_file_last_.isEmpty()) {
    request.startDirectory = FolderOf(other_file_last_);
    request.proposedName = QFileInfo(other_file_last_).fileName();
  }
  const std::optional<QString> chosen = SaveOtherFile(request);
  if (!chosen) return;
  const QString caption = QString::fromLatin1(kStudioName);
  try {
    TMTS410 mesh;
    const MeshReport report = [this, caption](const std::string& message) {
      dialogs_.ShowMessage(MessageIcon::Error, caption, QString::fromLocal8Bit(message));
    };
    if (!LoadMTS410File(NativePath(*chosen), mesh, report)) return;
    WriteMTSDump(MTSDumpPath(NativePath(*chosen)), mesh, QLocale().decimalPoint().toStdString());
  } catch (const EInOutError& e) {
    dialogs_.ShowMessage(MessageIcon::None, caption, QString::fromLocal8Bit(FileErrorReport(e)));
  } catch (const std::exception& e) {
    dialogs_.ShowMessage(MessageIcon::None, caption, QString::fromLocal8Bit(e.what()));
  }
}

}  // namespace kestrel::studio
