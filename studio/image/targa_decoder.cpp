// Targa files: colour-mapped (1), true colour (2) and grey (3) pictures and their run-length
// forms (9, 10, 11), 8 to 32 bits, either origin.
#include <string>
#include <vector>

#include "archive/byte_reader.h"
#include "studio/image/image_decoder.h"
#include "studio/image/picture_canvas.h"
#include "studio/image/targa_header.h"

namespace kestrel {
namespace {

using image_detail::Fail;
using image_detail::Rgba;
using image_detail::TargaHeader;
using image_detail::DecodeTargaColour;
using image_detail::TargaHasAlphaAt;
using image_detail::ReadTargaHeader;
using image_detail::ReadTargaColourMap;

class TargaPixels {
 public:
  TargaPixels(const TargaHeader& h, std::vector<Rgba> map)
      : h_(h), map_(std::move(map)), bytes_((h.Bits + 7) / 8), alpha_(TargaHasAlphaAt(h.Bits, h.AttributeBits())) {}

  size_t BytesPerPixel() const { return bytes_; }
  bool HasAlpha() const {
    if (h_.BaseType() == 1) return TargaHasAlphaAt(h_.MapEntryBits, h_.AttributeBits());
    return h_.BaseType() == 2 && alpha_;
  }

  Rgba Colour(const uint8_t* p) const {
    switch (h_.BaseType()) {
      case 1: {
        const uint32_t index = bytes_ == 1 ? p[0] : static_cast<uint32_t>(p[0] | (p[1] << 8));
        // An index outside the map shows black rather than refusing the picture.
        if (index < h_.MapFirst || index - h_.MapFirst >= map_.size()) return Rgba{};
        return map_[index - h_.MapFirst];
      }
      case 3:
        return Rgba{p[0], p[0], p[0], 255};
      default:
        return DecodeTargaColour(p, h_.Bits, alpha_);
    }
  }

 private:
  const TargaHeader& h_;
  std::vector<Rgba> map_;
  size_t bytes_;
  bool alpha_;
};

RgbaImage DecodeTargaChecked(const uint8_t* data, size_t size) {
  ByteReader r(data, size);
  const TargaHeader h = ReadTargaHeader(r);
  const TargaPixels pixels(h, ReadTargaColourMap(r, h));
  const size_t bpp = pixels.BytesPerPixel();
  const uint64_t total = static_cast<uint64_t>(h.Width) * h.Height;

  // Refuse data too short for the picture before reserving it: stored pixels need `bpp` bytes
  // each, and run-length data at best one packet of 1 + bpp bytes per 128 pixels.
  if (!h.RunLength() && !r.CanReadRecords(total, bpp)) Fail("Targa: the pixel data ends before the picture does");
  if (h.RunLength() && !r.CanReadRecords((total + 127) / 128, 1 + bpp))
    Fail("Targa: the run-length data is too short for the picture");

  RgbaImage image = image_detail::NewPicture(h.Width, h.Height, pixels.HasAlpha());
  uint64_t produced = 0;
  // Pixels come in file order: rows from the origin's side, each row from its side.
  auto put = [&](Rgba c) {
    const uint32_t row = static_cast<uint32_t>(produced / h.Width);
    const uint32_t column = static_cast<uint32_t>(produced % h.Width);
    const uint32_t y = h.TopOrigin() ? row : h.Height - 1u - row;
    const uint32_t x = h.RightToLeft() ? h.Width - 1u - column : column;
    image_detail::Put(image, x, y, c);
    ++produced;
  };
  auto next = [&]() {
    if (!r.CanRead(bpp)) throw TruncatedDataError("unexpected end of data");
    const uint8_t* p = r.Data() + r.Position();
    r.Seek(r.Position() + bpp);
    return pixels.Colour(p);
  };

  while (produced < total) {
    if (!h.RunLength()) {
      put(next());
      continue;
    }
    const uint8_t packet = r.U8();
    const uint64_t count = (packet & 0x7F) + 1u;
    if (count > total - produced) Fail("Targa: run-length packets write past the picture");
    if (packet & 0x80) {
      const Rgba c = next();
      for (uint64_t i = 0; i < count; ++i) put(c);
    } else {
      for (uint64_t i = 0; i < count; ++i) put(next());
    }
  }
  // A file that announces no alpha and stores none (every fourth byte 0) is opaque rather than
  // wholly transparent.
  if (image.HasAlpha && h.AttributeBits() == 0) {
    bool allZero = true;
    for (size_t i = 3; i < image.Pixels.size() && allZero; i += 4) allZero = image.Pixels[i] == 0;
    if (allZero) {
      for (size_t i = 3; i < image.Pixels.size(); i += 4) image.Pixels[i] = 255;
      image.HasAlpha = false;
    }
  }
  return image;
}

}  // namespace

RgbaImage DecodeTarga(const uint8_t* data, size_t size) {
  try {
    return DecodeTargaChecked(data, size);
  } catch (const TruncatedDataError&) {
    throw ImageDecodeError("Targa: the file ends early");
  }
}

}  // namespace kestrel
