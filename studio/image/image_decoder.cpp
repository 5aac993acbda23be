#include "studio/image/image_decoder.h"

#include <cctype>
#include <string>

#include "archive/mas_format.h"

namespace kestrel {

std::optional<ImageKind> ImageKindOfName(std::string_view fileName) {
  const size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  std::string extension;
  for (char c : fileName.substr(dot + 1)) extension += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (extension == "BMP") return ImageKind::Bmp;
  if (extension == "TGA") return ImageKind::Targa;
  if (extension == "JPG" || extension == "JPEG") return ImageKind::Jpeg;
  return std::nullopt;
}

std::optional<ImageKind> ImageKindOfEntryType(int32_t fileType) {
  switch (fileType) {
    case kMasTypeBMP:
      return ImageKind::Bmp;
    case kMasTypeTGA:
      return ImageKind::Targa;
    case kMasTypeJPG:
      return ImageKind::Jpeg;
    default:
      return std::nullopt;
  }
}

RgbaImage DecodeImage(ImageKind kind, const uint8_t* data, size_t size) {
  switch (kind) {
    case ImageKind::Bmp:
      return DecodeBmp(data, size);
    case ImageKind::Targa:
      return DecodeTarga(data, size);
    case ImageKind::Jpeg:
      return DecodeJpeg(data, size);
  }
  throw ImageDecodeError("unknown image kind");
}

}  // namespace kestrel
