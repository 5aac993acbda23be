// The shared body of the picture decoders' targets: a decoded picture is as large as it says and
// no side passes the limit; anything else must be refused with ImageDecodeError.
#pragma once

#include <cstddef>
#include <cstdint>

#include "studio/image/image_decoder.h"

namespace kestrel::fuzz {

template <typename Decode>
void DecodeWith(Decode decode, const uint8_t* data, size_t size) {
  try {
    const RgbaImage image = decode(data, size);
    if (image.Width == 0 || image.Height == 0 || image.Width > kMaxImageSide || image.Height > kMaxImageSide ||
        image.Pixels.size() != size_t{image.Width} * image.Height * 4)
      __builtin_trap();
  } catch (const ImageDecodeError&) {
  }
}

inline void DecodePicture(ImageKind kind, const uint8_t* data, size_t size) {
  DecodeWith([kind](const uint8_t* d, size_t n) { return DecodeImage(kind, d, n); }, data, size);
}

}  // namespace kestrel::fuzz
