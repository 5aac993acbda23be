#include "studio/shell/image_file_conversion.h"

#include <QFileInfo>
#include <stdexcept>
#include <string>
#include <utility>

#include "archive/entry_name_encoding.h"
#include "studio/image/image_decoder.h"
#include "studio/image/picture_import.h"
#include "studio/image/png_writer.h"
#include "studio/qt_common/busy_cursor.h"
#include "studio/qt_common/native_path.h"
#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/studio_dialogs.h"

namespace kestrel::studio {

namespace {

QString Caption() { return QString::fromLatin1(kStudioName); }
QString EntryName(const TMAS_FileEntry& entry) { return QString::fromStdString(PrintableEntryName(entry.Name())); }
QString Sides(const RgbaImage& image) { return QStringLiteral("%1 x %2").arg(image.Width).arg(image.Height); }

// A warning of the encoders (a sentence without its capital and full stop) as a line of a notice.
QString NoticeLine(const std::string& warning) {
  QString line = QString::fromStdString(warning);
  if (!line.isEmpty()) line[0] = line[0].toUpper();
  return line + QLatin1Char('.');
}

void Refuse(StudioDialogs& dialogs, const QString& text) { dialogs.ShowMessage(MessageIcon::Error, Caption(), text); }

}  // namespace

std::optional<ImageImport> PrepareImageImport(StudioDialogs& dialogs, const QString& filePath,
                                              std::vector<uint8_t> fileBytes, const TMAS_FileEntry& entry,
                                              const std::function<std::optional<std::vector<uint8_t>>()>& readEntry) {
  const std::optional<ImageKind> entryKind = ImageKindOfEntryType(entry.FileType);
  if (!entryKind) return std::nullopt;
  const QString fileName = QFileInfo(filePath).fileName();
  const std::string nativeName = NativePath(fileName);
  // A file of the entry's own kind goes in as it is, whatever it holds.
  if (ImageKindOfName(nativeName) == entryKind) return ImageImport{std::move(fileBytes), {}, false};

  RgbaImage picture;
  try {
    picture = DecodePictureFile(nativeName, fileBytes.data(), fileBytes.size());
  } catch (const ImageDecodeError& e) {
    Refuse(dialogs, QStringLiteral("%1 cannot be imported: %2.").arg(fileName, QString::fromStdString(e.what())));
    return std::nullopt;
  }
  std::vector<uint8_t>().swap(fileBytes);
  const std::optional<std::vector<uint8_t>> present = readEntry();
  if (!present) return std::nullopt;

  try {
    const RgbaImage shown = DecodeImage(*entryKind, present->data(), present->size());
    if (shown.Width != picture.Width || shown.Height != picture.Height) {
      const UsualCursor asking;
      const QString question = QStringLiteral("%1 is %2 pixels, but %3 is %4 pixels.\r\nImport it at its own size?")
                                   .arg(fileName, Sides(picture), EntryName(entry), Sides(shown));
      if (!dialogs.AskYesNo(Caption(), question)) return std::nullopt;
    }
  } catch (const ImageDecodeError& e) {
    Refuse(dialogs, QStringLiteral("%1 cannot take a converted picture, as its present picture cannot be read: %2.")
                        .arg(EntryName(entry), QString::fromStdString(e.what())));
    return std::nullopt;
  }

  EncodedPicture encoded;
  try {
    encoded = EncodeLikeEntry(*entryKind, *present, picture);
  } catch (const std::runtime_error& e) {
    Refuse(dialogs, QStringLiteral("%1 cannot be written like %2: %3.")
                        .arg(fileName, EntryName(entry), QString::fromStdString(e.what())));
    return std::nullopt;
  }
  ImageImport result{std::move(encoded.Bytes), {}, encoded.Unchanged};
  if (result.Unchanged) {
    result.Notice = QStringLiteral("%1 already holds the pixels of %2; the archive was not rewritten.")
                        .arg(EntryName(entry), fileName);
  } else if (!encoded.Warnings.empty()) {
    result.Notice = QStringLiteral("%1 was imported into %2:").arg(fileName, EntryName(entry));
    for (const std::string& warning : encoded.Warnings) result.Notice += QStringLiteral("\r\n") + NoticeLine(warning);
  }
  return result;
}

bool IsPngFileName(const QString& filePath) { return filePath.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive); }

bool ExportImageEntryAsPng(StudioDialogs& dialogs, const TMAS_FileEntry& entry,
                           const std::vector<uint8_t>& entryBytes, const QString& filePath) {
  const std::optional<ImageKind> kind = ImageKindOfEntryType(entry.FileType);
  if (!kind) return false;
  RgbaImage image;
  try {
    image = DecodeImage(*kind, entryBytes.data(), entryBytes.size());
  } catch (const ImageDecodeError& e) {
    Refuse(dialogs,
           QStringLiteral("%1 cannot be exported as PNG: %2.").arg(EntryName(entry), QString::fromStdString(e.what())));
    return false;
  }
  WritePngFile(NativePath(filePath), image);
  return true;
}

}  // namespace kestrel::studio
