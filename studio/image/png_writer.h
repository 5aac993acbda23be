// PNG output of decoded pictures (libpng): RGBA where the picture has alpha, RGB otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "studio/image/image_decoder.h"

namespace kestrel {

// Deterministic: the same picture gives the same bytes.
std::vector<uint8_t> EncodePng(const RgbaImage& image);
// Writes through FileReplacement, so an existing file is replaced whole or not at all.
void WritePngFile(const std::string& path, const RgbaImage& image);

}  // namespace kestrel
