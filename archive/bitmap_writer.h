// Uncompressed 24-bit Windows bitmap files, the form in which old image entries leave the kit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrel {

// Bytes in one row of 24-bit pixels, padded to a multiple of 4.
int64_t BitmapRowLength(int32_t width);

// A complete ".BMP" file: file header, 40-byte info header, then the rows bottom row first as the
// format wants them. `pixels` holds `height` rows of BitmapRowLength(width) bytes, top row first,
// blue, green, red per pixel; the row padding is copied as it is. Throws std::invalid_argument when
// a side is not positive or `pixels` is shorter than the rows.
std::vector<uint8_t> EncodeBitmap24(int32_t width, int32_t height, const uint8_t* pixels, size_t pixelsSize);

}  // namespace kestrel
