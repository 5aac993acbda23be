#include "studio/image/picture_import.h"

#include <bit>
#include <cctype>

#include "studio/image/picture_encoding.h"

namespace kestrel {
namespace {

bool IsPngName(std::string_view fileName) {
  const size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos || fileName.size() - dot != 4) return false;
  std::string extension;
  for (char c : fileName.substr(dot + 1)) extension += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == "png";
}

bool AnyTranslucent(const RgbaImage& picture) {
  for (size_t i = 3; i < picture.Pixels.size(); i += 4)
    if (picture.Pixels[i] != 255) return true;
  return false;
}

std::string Sides(uint32_t width, uint32_t height) { return std::to_string(width) + " x " + std::to_string(height); }

}  // namespace

bool IsPictureFileName(std::string_view fileName) { return IsPngName(fileName) || ImageKindOfName(fileName); }

RgbaImage DecodePictureFile(std::string_view fileName, const uint8_t* data, size_t size) {
  if (IsPngName(fileName)) return DecodePng(data, size);
  const std::optional<ImageKind> kind = ImageKindOfName(fileName);
  if (!kind) throw ImageDecodeError("not a .png, .bmp, .tga or .jpg picture");
  return DecodeImage(*kind, data, size);
}

EncodedPicture EncodeLikeEntry(ImageKind kind, const std::vector<uint8_t>& entry, const RgbaImage& picture) {
  if (picture.Width == 0 || picture.Height == 0 ||
      picture.Pixels.size() != static_cast<size_t>(picture.Width) * picture.Height * 4)
    throw std::invalid_argument("the picture's pixels do not match its size");
  const RgbaImage present = DecodeImage(kind, entry.data(), entry.size());
  EncodedPicture result;
  const bool sameSize = present.Width == picture.Width && present.Height == picture.Height;
  if (sameSize && present.Pixels == picture.Pixels) {
    result.Bytes = entry;
    result.Unchanged = true;
    return result;
  }
  if (!sameSize && (!std::has_single_bit(picture.Width) || !std::has_single_bit(picture.Height)))
    result.Warnings.push_back("the picture is " + Sides(picture.Width, picture.Height) + " pixels (the entry " +
                              Sides(present.Width, present.Height) +
                              "); a side that is not a power of two may not show in the game");
  if (!present.HasAlpha && AnyTranslucent(picture))
    result.Warnings.push_back("the picture's transparency is dropped, as the entry's format keeps no alpha");
  switch (kind) {
    case ImageKind::Bmp:
      result.Bytes = image_detail::EncodeBmpLike(entry, picture, result.Warnings);
      break;
    case ImageKind::Targa:
      result.Bytes = image_detail::EncodeTargaLike(entry, present.HasAlpha, picture, result.Warnings);
      break;
    case ImageKind::Jpeg:
      result.Bytes = image_detail::EncodeJpegLike(entry, picture, result.Warnings);
      break;
  }
  return result;
}

}  // namespace kestrel
