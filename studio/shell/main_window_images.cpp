// The image commands: zoom, "Export image to file" and "Import image from file".
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <new>
#include <utility>

#include "archive/entry_name_encoding.h"
#include "archive/file_io.h"
#include "studio/preview/image_view.h"
#include "studio/shell/image_file_conversion.h"
#include "studio/shell/main_window.h"
#include "studio/qt_common/busy_cursor.h"
#include "studio/qt_common/native_path.h"
#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/studio_dialogs.h"

namespace kestrel::studio {

namespace {

inline constexpr char kNoMemoryForImage[] =
    "Failed to allocate the needed memory for this operation. \r\nAttempt at loading the image has been cancelled";
constexpr int kMaxZoom = 5;

// What each image dialog offers after the entry's own type.
inline constexpr char kExportFilters[] = "|PNG Files (*.png)|*.png";
inline constexpr char kImportFilters[] = "|Pictures (*.png *.bmp *.tga *.jpg *.jpeg)|*.png;*.bmp;*.tga;*.jpg;*.jpeg";

// The file dialog for an image entry, the same for saving and opening but for the filters that
// follow the entry's own; nothing for other types.
std::optional<FileDialogRequest> ImageDialogRequest(const char* objectName, const TMAS_FileEntry& entry,
                                                    const QString& startDirectory, const char* moreFilters) {
  FileDialogRequest request;
  request.objectName = QString::fromLatin1(objectName);
  request.startDirectory = startDirectory;
  request.proposedName = QString::fromStdString(EntryFileName(entry.Name()));
  switch (entry.FileType) {
    case kMasTypeBMP:
      request.filter = QStringLiteral("Bitmap Files (*.BMP)|*.BMP");
      request.title = QStringLiteral("Save a Bitmap File");
      request.defaultSuffix = QStringLiteral("bmp");
      break;
    case kMasTypeTGA:
      request.filter = QStringLiteral("Targa Files (*.TGA)|*.TGA");
      request.title = QStringLiteral("Save a Targa File");
      request.defaultSuffix = QStringLiteral("tga");
      break;
    case kMasTypeJPG:
      request.filter = QStringLiteral("JPEG Files (*.JPG)|*.JPG");
      request.title = QStringLiteral("Save a JPEG File");
      request.defaultSuffix = QStringLiteral("jpg");
      break;
    default:
      return std::nullopt;
  }
  request.filter += QString::fromLatin1(moreFilters);
  return request;
}


}  // namespace

void TFKestrel::ApplyZoom() {
  TBZoomIn->setEnabled(state_.ZoomFactor < kMaxZoom);
  TBZoomOut->setEnabled(state_.ZoomFactor > 1);
  TBZoomReset->setEnabled(state_.ZoomFactor != 1);
  MASImgView->SetScale(state_.ZoomFactor);
}

void TFKestrel::TBZoomInClick() {
  state_.ZoomFactor = std::min(state_.ZoomFactor + 1, kMaxZoom);
  ApplyZoom();
}

void TFKestrel::TBZoomOutClick() {
  state_.ZoomFactor = std::max(state_.ZoomFactor - 1, 1);
  ApplyZoom();
}

void TFKestrel::TBZoomResetClick() {
  state_.ZoomFactor = 1;
  ApplyZoom();
}

void TFKestrel::Exportimagetofile1Click() {
  const int index = state_.SelectedEntry - 1;
  if (!FileExists(state_.ArchivePath) || index < 0 || index >= state_.FileCount()) return;
  const std::optional<FileDialogRequest> request =
      ImageDialogRequest("SDImage", state_.Table[static_cast<size_t>(index)], settings_.BMPInitialDir, kExportFilters);
  if (!request) return;
  const std::optional<QString> chosen = dialogs_.SaveFile(*request);
  if (!chosen) return;
  // The folder is remembered whether or not the extraction succeeds.
  settings_.BMPInitialDir = FolderOf(*chosen);
  if (IsSameFile(NativePath(*chosen), state_.ArchivePath)) {
    dialogs_.ShowMessage(MessageIcon::Error, QString::fromLatin1(kStudioName),
                         tr("The image cannot be saved over the open archive."));
    return;
  }
  if (!IsPngFileName(*chosen)) {
    ExtractEntryToFile(index, *chosen);
    return;
  }
  BusyCursor busy;
  if (const std::optional<std::vector<uint8_t>> bytes = ReadEntryData(index))
    ExportImageEntryAsPng(dialogs_, state_.Table[static_cast<size_t>(index)], *bytes, *chosen);
}

void TFKestrel::Importimagefromfile1Click() {
  const int index = state_.SelectedEntry - 1;
  if (!FileExists(state_.ArchivePath) || index < 0 || index >= state_.FileCount()) return;
  const std::optional<FileDialogRequest> request =
      ImageDialogRequest("ODImage", state_.Table[static_cast<size_t>(index)], settings_.BMPInitialDir, kImportFilters);
  if (!request) return;
  const std::optional<QString> chosen = dialogs_.OpenFile(*request);
  if (!chosen) return;

  BusyCursor busy;
  if (isVisible()) repaint();
  const QString caption = QString::fromLatin1(kStudioName);
  // A file that cannot be read is an error no step here handles: it reaches the error dialog.
  std::vector<uint8_t> file;
  try {
    file = ReadWholeFile(NativePath(*chosen));
  } catch (const std::bad_alloc&) {
    dialogs_.ShowMessage(MessageIcon::Error, caption, QString::fromLatin1(kNoMemoryForImage));
    return;
  }
  settings_.BMPInitialDir = FolderOf(*chosen);
  const std::optional<ImageImport> import =
      PrepareImageImport(dialogs_, *chosen, std::move(file), state_.Table[static_cast<size_t>(index)],
                         [&] { return ReadEntryData(index); });
  if (!import) return;
  // The rewrite shows its own failures, reselects the entry's node and shows the new picture.
  if (!import->Unchanged && !ReplaceEntry(index, import->Bytes)) return;
  if (!import->Notice.isEmpty()) {
    const UsualCursor reading;
    dialogs_.ShowMessage(MessageIcon::Information, caption, import->Notice);
  }
}

}  // namespace kestrel::studio
