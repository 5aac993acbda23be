// The image preview of the selected entry: BMP, TGA and JPG entries decoded into the image view.
#include <QImage>
#include <new>
#include <utility>
#include <vector>

#include "archive/file_io.h"
#include "studio/open_archive/entry_access.h"
#include "studio/preview/image_view.h"
#include "studio/shell/main_window.h"
#include "studio/image/image_decoder.h"
#include "studio/qt_common/busy_cursor.h"
#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/studio_dialogs.h"

namespace kestrel::studio {

namespace {

ImageKind ImageKindOfType(int32_t fileType) {
  return ImageKindOfEntryType(fileType).value_or(ImageKind::Bmp);  // every other type read as a bitmap
}

// The view shows colour only: alpha is not drawn, so that a picture whose alpha is 0 stays visible.
// The decoded pixels become the QImage's own memory, turned into its 32-bit RGB layout where they
// lie: a big picture is never held twice.
QImage ToQImage(RgbaImage&& image) {
  auto* pixels = new std::vector<uint8_t>(std::move(image.Pixels));
  uint8_t* p = pixels->data();
  const size_t count = pixels->size() / 4;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
  // Format_RGB32 is 0xFFRRGGBB in a 32-bit word: B, G, R, 255 in memory.
  for (size_t i = 0; i < count; ++i, p += 4) {
    std::swap(p[0], p[2]);
    p[3] = 0xFF;
  }
  const QImage::Format format = QImage::Format_RGB32;
#else
  for (size_t i = 0; i < count; ++i, p += 4) p[3] = 0xFF;
  const QImage::Format format = QImage::Format_RGBX8888;
#endif
  QImage q(
      pixels->data(), static_cast<int>(image.Width), static_cast<int>(image.Height),
      static_cast<qsizetype>(image.Width) * 4, format,
      [](void* owned) { delete static_cast<std::vector<uint8_t>*>(owned); }, pixels);
  if (q.isNull()) delete pixels;
  return q;
}

}  // namespace

bool TFKestrel::ReadImageEntry(int index, QImage& bitmap) {
  if (!FileExists(state_.ArchivePath) || index < 0 || index >= state_.FileCount()) return false;
  const QString caption = QString::fromLatin1(kStudioName);
  EntryBytes bytes = ReadEntryBytes(state_, index);
  switch (bytes.Problem) {
    case EntryProblem::None:
      break;
    case EntryProblem::NoArchive:
      return false;
    case EntryProblem::ReadFailed:
      // Bytes that are not there at all: nothing stays on show that could pass for this entry.
      MASImgView->Blank();
      [[fallthrough]];
    case EntryProblem::OutOfMemory:
    case EntryProblem::Damaged:
      return ReadEntryData(index).has_value();  // says why, as every reader of entries does
  }
  // The decoders ignore the bitmap header's image-size field, which writers often get wrong. A
  // picture they refuse throws ImageDecodeError, which reaches the application error dialog.
  try {
    RgbaImage image = DecodeImage(ImageKindOfType(state_.Table[static_cast<size_t>(index)].FileType),
                                  bytes.Data.data(), bytes.Data.size());
    std::vector<uint8_t>().swap(bytes.Data);  // the file's bytes go before the picture is converted
    bitmap = QImage();                        // and so does any picture the caller held
    bitmap = ToQImage(std::move(image));
  } catch (const std::bad_alloc&) {
    ShowProblem(MessageIcon::Error, caption, QString::fromLatin1(kNoMemoryForPreview));
    return false;
  }
  if (bitmap.isNull()) {  // Qt could not hold the converted picture
    dialogs_.ShowMessage(MessageIcon::Error, caption, QString::fromLatin1(kNoMemoryForPreview));
    return false;
  }
  return true;
}

void TFKestrel::ShowImageEntry(int index) {
  if (!FileExists(state_.ArchivePath)) return;
  QImage bitmap;
  BusyCursor busy;
  if (!ReadImageEntry(index, bitmap)) return;  // the image commands stay as they were
  Exportimagetofile1->setEnabled(true);
  if (!state_.ReadOnlyMedium) Importimagefromfile1->setEnabled(true);
  MASImgView->Blank();
  MASImgView->SetScale(state_.ZoomFactor);
  MASImgView->SetImage(bitmap);
}

}  // namespace kestrel::studio
