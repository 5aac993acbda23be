// File > "Export glTF File": the selected mesh entry, with its textures, as a glTF file.
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <stdexcept>

#include "archive/file_error.h"
#include "archive/file_io.h"
#include "studio/open_archive/entry_access.h"
#include "studio/shell/main_window.h"
#include "studio/mesh/gltf_export.h"
#include "studio/qt_common/busy_cursor.h"
#include "studio/qt_common/native_path.h"
#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/studio_dialogs.h"

namespace kestrel::studio {

void TFKestrel::ExportglTFFile1Click() {
  const int index = state_.SelectedEntry - 1;
  if (index < 0 || index >= state_.FileCount() || state_.Table[static_cast<size_t>(index)].FileType != kMasTypeMTS)
    return;
  const std::string entryName = state_.Table[static_cast<size_t>(index)].Name();
  const QString caption = QString::fromLatin1(kStudioName);
  const MeshReport showError = [&](const std::string& message) {
    dialogs_.ShowMessage(MessageIcon::Error, caption, QString::fromLocal8Bit(message));
  };

  AnyMesh mesh;
  {
    BusyCursor busy;
    const std::optional<std::vector<uint8_t>> bytes = ReadEntryData(index);
    if (!bytes || !DecodeAnyMesh(bytes->data(), bytes->size(), mesh, showError)) return;
  }

  FileDialogRequest request;
  request.objectName = QStringLiteral("SDglTFFile");
  request.title = tr("Save a glTF File");
  request.filter = tr("glTF Binary Files (*.glb)|*.glb|glTF Files (*.gltf)|*.gltf");
  request.startDirectory = settings_.BMPInitialDir;
  request.proposedName = FromNative(ReplaceExtension(entryName, ".glb"));
  request.defaultSuffix = QStringLiteral("glb");
  const std::optional<QString> chosen = dialogs_.SaveFile(request);
  if (!chosen) return;
  std::string path = NativePath(*chosen);
  if (!GltfFormOfPath(path)) path += ".glb";
  settings_.BMPInitialDir = FolderOf(*chosen);

  BusyCursor busy;
  // Textures beside the archive first, found as the preview finds them; then inside it, by name in
  // any letter case.
  const MeshEntryReader readEntry = [this](size_t i) { return EntryDataOrThrow(state_, static_cast<int>(i)); };
  QStringList warnings;
  const GltfContent content =
      GltfContentOf(VRMLObjectName(entryName), mesh, TexturesBesideOrInside(DirectoryOf(state_.ArchivePath), &state_.Table, readEntry),
                    [&](const std::string& line) { warnings << QString::fromLocal8Bit(line); });
  try {
    const std::vector<GltfFile> files = LayOutGltf(content, path, *GltfFormOfPath(path));
    for (const GltfFile& f : files)
      if (RefuseOpenArchiveAsTarget(f.Path)) return;
    WriteGltfFiles(files);
  } catch (const EInOutError& e) {
    showError(FileErrorReport(e));
    return;
  } catch (const std::length_error& e) {
    showError(path + ": " + e.what());
    return;
  }
  if (!warnings.isEmpty()) dialogs_.ShowMessage(MessageIcon::Warning, caption, warnings.join(QStringLiteral("\r\n")));
}

}  // namespace kestrel::studio
