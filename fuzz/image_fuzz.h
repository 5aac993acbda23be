// The shared body of the picture decoders' targets: a decoded picture is as large as it says and
// no side passes the limit; anything else must be refused with ImageDecodeError.
#pragma once

#include <cstddef>
#include <cstdint>

#include "studio/image/image_decoder.h"

namespace kestrel::fuzz {

inline void DecodePicture(ImageKind kind, const uint8_t* data, size_t size) {
  try {
    const RgbaImage image = DecodeImage(kind, data, size);
    if (image.Width == 0 || image.Height == 0 || image.Width > kMaxImageSide || image.Height > kMaxImageSide ||
        image.Pixels.size() != size_t{image.Width} * image.Height * 4)
      __builtin_trap();
  } catch (const ImageDecodeError&) {
  }
}

}  // namespace kestrel::fuzz
