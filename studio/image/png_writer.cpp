#include "studio/image/png_writer.h"

#include <png.h>

#include <stdexcept>

#include "archive/file_replacement.h"

namespace kestrel {

std::vector<uint8_t> EncodePng(const RgbaImage& image) {
  if (image.Width == 0 || image.Height == 0 ||
      image.Pixels.size() != static_cast<size_t>(image.Width) * image.Height * 4)
    throw std::invalid_argument("PNG: the picture's pixels do not match its size");

  // libpng's simplified writer takes tightly packed rows of the chosen format, so a picture
  // without alpha is repacked as RGB.
  std::vector<uint8_t> rgb;
  const uint8_t* pixels = image.Pixels.data();
  if (!image.HasAlpha) {
    rgb.resize(static_cast<size_t>(image.Width) * image.Height * 3);
    for (size_t i = 0, o = 0; i < image.Pixels.size(); i += 4, o += 3) {
      rgb[o] = image.Pixels[i];
      rgb[o + 1] = image.Pixels[i + 1];
      rgb[o + 2] = image.Pixels[i + 2];
    }
    pixels = rgb.data();
  }

  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = image.Width;
  png.height = image.Height;
  png.format = image.HasAlpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;

  // The first call only measures; the second writes into a buffer of that size.
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&png, nullptr, &size, 0, pixels, 0, nullptr))
    throw std::runtime_error(std::string("PNG: ") + png.message);
  std::vector<uint8_t> bytes(size);
  if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, pixels, 0, nullptr))
    throw std::runtime_error(std::string("PNG: ") + png.message);
  bytes.resize(size);
  return bytes;
}

void WritePngFile(const std::string& path, const RgbaImage& image) {
  const std::vector<uint8_t> bytes = EncodePng(image);
  ReplaceFileContents(path, bytes.data(), bytes.size());
}

}  // namespace kestrel
