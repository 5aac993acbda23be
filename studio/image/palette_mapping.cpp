#include "studio/image/palette_mapping.h"

#include <libimagequant.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>

namespace kestrel::image_detail {
namespace {

uint32_t Key(const uint8_t* p, bool withAlpha) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         (withAlpha ? p[3] : 255u);
}

uint32_t Key(const Rgba& c, bool withAlpha) {
  const uint8_t bytes[4] = {c.R, c.G, c.B, c.A};
  return Key(bytes, withAlpha);
}

template <typename T, void (*Destroy)(T*)>
struct Deleter {
  void operator()(T* p) const {
    if (p) Destroy(p);
  }
};
using Attr = std::unique_ptr<liq_attr, Deleter<liq_attr, liq_attr_destroy>>;
using Image = std::unique_ptr<liq_image, Deleter<liq_image, liq_image_destroy>>;
using Result = std::unique_ptr<liq_result, Deleter<liq_result, liq_result_destroy>>;

[[noreturn]] void Refuse(const std::string& what) {
  throw std::runtime_error("reducing the picture's colours failed (" + what + ")");
}

}  // namespace

std::optional<std::vector<uint32_t>> IndicesInPalette(const RgbaImage& picture, const std::vector<Rgba>& palette,
                                                      bool withAlpha) {
  std::unordered_map<uint32_t, uint32_t> indexOf;
  for (size_t i = 0; i < palette.size(); ++i) indexOf.emplace(Key(palette[i], withAlpha), static_cast<uint32_t>(i));
  std::vector<uint32_t> indices(picture.Pixels.size() / 4);
  for (size_t i = 0; i < indices.size(); ++i) {
    const auto found = indexOf.find(Key(&picture.Pixels[i * 4], withAlpha));
    if (found == indexOf.end()) return std::nullopt;
    indices[i] = found->second;
  }
  return indices;
}

IndexedPicture ReducedToPalette(const RgbaImage& picture, size_t size, bool withAlpha) {
  IndexedPicture out;
  out.Palette.assign(std::clamp<size_t>(size, 1, 256), Rgba{0, 0, 0, 255});
  out.Indices.assign(picture.Pixels.size() / 4, 0);
  if (out.Palette.size() == 1) {  // below what the library accepts; one colour is the first pixel's
    out.Palette[0] = Rgba{picture.Pixels[0], picture.Pixels[1], picture.Pixels[2], withAlpha ? picture.Pixels[3] : uint8_t{255}};
    return out;
  }
  std::vector<uint8_t> pixels = picture.Pixels;
  if (!withAlpha)
    for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;

  Attr attr(liq_attr_create());
  if (!attr) Refuse("no memory");
  if (liq_set_max_colors(attr.get(), static_cast<int>(out.Palette.size())) != LIQ_OK) Refuse("palette size");
  Image image(liq_image_create_rgba(attr.get(), pixels.data(), static_cast<int>(picture.Width),
                                    static_cast<int>(picture.Height), 0));
  if (!image) Refuse("picture refused");
  liq_result* raw = nullptr;
  if (liq_image_quantize(image.get(), attr.get(), &raw) != LIQ_OK) Refuse("quantisation");
  Result result(raw);
  std::vector<uint8_t> indices(out.Indices.size());
  if (liq_write_remapped_image(result.get(), image.get(), indices.data(), indices.size()) != LIQ_OK) Refuse("remapping");
  const liq_palette* palette = liq_get_palette(result.get());
  for (unsigned i = 0; i < palette->count && i < out.Palette.size(); ++i)
    out.Palette[i] = Rgba{palette->entries[i].r, palette->entries[i].g, palette->entries[i].b,
                          withAlpha ? palette->entries[i].a : uint8_t{255}};
  std::copy(indices.begin(), indices.end(), out.Indices.begin());
  return out;
}

}  // namespace kestrel::image_detail
