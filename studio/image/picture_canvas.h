// What the three decoders share: the size rules and the picture they fill.
#pragma once

#include <cstdint>
#include <string>

#include "studio/image/image_decoder.h"

namespace kestrel::image_detail {

[[noreturn]] inline void Fail(const std::string& reason) { throw ImageDecodeError(reason); }

// Refuses sides of 0 or above kMaxImageSide before anything is reserved; `format` starts the
// message ("Bitmap", "Targa", "JPEG").
inline void CheckSides(const char* format, int64_t width, int64_t height) {
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide)
    Fail(std::string(format) + ": a picture of " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels is not accepted (each side must be 1 to " + std::to_string(kMaxImageSide) + ")");
}

// A picture of checked sides, every pixel opaque black. The sides are at most kMaxImageSide, so
// width * height * 4 stays below 2^30 and cannot overflow.
inline RgbaImage NewPicture(uint32_t width, uint32_t height, bool hasAlpha) {
  RgbaImage image;
  image.Width = width;
  image.Height = height;
  image.HasAlpha = hasAlpha;
  image.Pixels.resize(static_cast<size_t>(width) * height * 4, 0);
  for (size_t i = 3; i < image.Pixels.size(); i += 4) image.Pixels[i] = 255;
  return image;
}

struct Rgba {
  uint8_t R = 0, G = 0, B = 0, A = 255;
};

inline void Put(RgbaImage& image, uint32_t x, uint32_t y, Rgba c) {
  uint8_t* p = &image.Pixels[(static_cast<size_t>(y) * image.Width + x) * 4];
  p[0] = c.R;
  p[1] = c.G;
  p[2] = c.B;
  p[3] = c.A;
}

// A channel of `bits` bits (1 to 32) scaled to 0..255, rounded to the nearest.
inline uint8_t ScaleChannel(uint32_t value, uint32_t maximum) {
  if (maximum == 0) return 0;
  return static_cast<uint8_t>((static_cast<uint64_t>(value) * 255 + maximum / 2) / maximum);
}

}  // namespace kestrel::image_detail
