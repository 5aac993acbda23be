// One small file of every image variant the decoders read, with the pixels it was written from:
// shared by the decoder tests and the cross-check against an independent decoder.
#pragma once

#include <string>
#include <vector>

#include "studio/image/image_decoder.h"
#include "studio/image/testing/image_writers.h"

namespace kestrel::testing {

struct ImageVariant {
  std::string Name;  // "BMP RLE8", "TGA 16-bit with alpha bit", ...
  TestPicture Picture;
  std::vector<uint8_t> Bytes;
  ImageKind Kind;
  bool HasAlpha = false;
  int Tolerance = 0;  // per channel; JPEG is lossy
};

std::vector<ImageVariant> ImageVariants();

// The picture mirrored left to right: other pixels of the same colours, which every layout that
// held the original holds exactly.
RgbaImage Mirrored(const RgbaImage& image);

}  // namespace kestrel::testing
