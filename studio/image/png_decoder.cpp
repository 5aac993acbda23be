// PNG through libpng's simplified reader, from memory.
#include <png.h>

#include <string>

#include "studio/image/picture_canvas.h"
#include "studio/image/picture_import.h"

namespace kestrel {

RgbaImage DecodePng(const uint8_t* data, size_t size) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&png, data, size))
    throw ImageDecodeError(std::string("PNG: ") + png.message);
  const bool hasAlpha = (png.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  try {
    image_detail::CheckSides("PNG", png.width, png.height);
  } catch (...) {
    png_image_free(&png);
    throw;
  }
  RgbaImage image = image_detail::NewPicture(png.width, png.height, hasAlpha);
  png.format = PNG_FORMAT_RGBA;
  if (!png_image_finish_read(&png, nullptr, image.Pixels.data(), 0, nullptr))
    throw ImageDecodeError(std::string("PNG: ") + png.message);  // the library freed its state
  return image;
}

}  // namespace kestrel
