// A picture as indices into a palette of limited size: the entry's own palette when every colour
// is in it, else a new one of the same size made by libimagequant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "studio/image/image_decoder.h"
#include "studio/image/picture_canvas.h"

namespace kestrel::image_detail {

struct IndexedPicture {
  std::vector<Rgba> Palette;
  std::vector<uint32_t> Indices;  // one per pixel, top row first
};

// Each pixel's index in `palette` (the first of equal colours), comparing alpha only when
// `withAlpha`; nothing when some colour is missing.
std::optional<std::vector<uint32_t>> IndicesInPalette(const RgbaImage& picture, const std::vector<Rgba>& palette,
                                                      bool withAlpha);

// The picture reduced to a palette of exactly `size` entries (1 to 256; unused ones black), alpha
// kept when `withAlpha`, else every pixel taken as opaque. Throws std::runtime_error when the
// library fails.
IndexedPicture ReducedToPalette(const RgbaImage& picture, size_t size, bool withAlpha);

}  // namespace kestrel::image_detail
