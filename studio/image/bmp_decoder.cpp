// Windows bitmaps: the core and info headers of 12 to 124 bytes, palettes of 1, 4 and 8 bits, 16
// and 32 bits with or without bit fields, 24 bits, and the RLE8 and RLE4 encodings.
#include <array>
#include <bit>
#include <string>
#include <vector>

#include "archive/byte_reader.h"
#include "studio/image/bmp_header.h"
#include "studio/image/image_decoder.h"
#include "studio/image/picture_canvas.h"

namespace kestrel {
namespace {

using image_detail::Fail;
using image_detail::Rgba;
using image_detail::BmpHeader;
using image_detail::kBmpRle4;
using image_detail::ReadBmpHeader;
using image_detail::ReadBmpPalette;

// One channel of a bit-field pixel: the bits under the mask, scaled to 0..255.
struct Channel {
  uint32_t Mask = 0;
  int Shift = 0;
  uint32_t Maximum = 0;

  explicit Channel(uint32_t mask) : Mask(mask) {
    if (mask == 0) return;
    Shift = std::countr_zero(mask);
    Maximum = mask >> Shift;
  }
  uint8_t Of(uint32_t pixel) const { return image_detail::ScaleChannel((pixel & Mask) >> Shift, Maximum); }
};

class PixelPainter {
 public:
  PixelPainter(RgbaImage& image, const BmpHeader& h, std::vector<Rgba> palette)
      : image_(image),
        palette_(std::move(palette)),
        red_(h.Masks[0]),
        green_(h.Masks[1]),
        blue_(h.Masks[2]),
        alpha_(h.Masks[3]) {}

  // An index past a short palette shows black rather than refusing the whole picture.
  Rgba Indexed(uint32_t index) const { return index < palette_.size() ? palette_[index] : Rgba{}; }
  Rgba Packed(uint32_t pixel) const {
    Rgba c{red_.Of(pixel), green_.Of(pixel), blue_.Of(pixel), 255};
    if (image_.HasAlpha) c.A = alpha_.Of(pixel);
    return c;
  }
  void Put(uint32_t x, uint32_t y, Rgba c) { image_detail::Put(image_, x, y, c); }

 private:
  RgbaImage& image_;
  std::vector<Rgba> palette_;
  Channel red_, green_, blue_, alpha_;
};

void ReadUncompressed(ByteReader& r, const BmpHeader& h, PixelPainter& painter) {
  const uint64_t width = static_cast<uint64_t>(h.Width);
  const uint64_t height = static_cast<uint64_t>(h.Height);
  const uint64_t stride = (width * h.Bits + 31) / 32 * 4;
  if (stride * height > r.Size() - h.DataOffset) Fail("Bitmap: the pixel data ends before the picture does");

  for (uint64_t fileRow = 0; fileRow < height; ++fileRow) {
    const uint8_t* row = r.Data() + h.DataOffset + fileRow * stride;
    const uint32_t y = static_cast<uint32_t>(h.TopDown ? fileRow : height - 1 - fileRow);
    for (uint32_t x = 0; x < width; ++x) {
      Rgba c;
      switch (h.Bits) {
        case 1:
          c = painter.Indexed((row[x / 8] >> (7 - x % 8)) & 1);
          break;
        case 4:
          c = painter.Indexed((row[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F);
          break;
        case 8:
          c = painter.Indexed(row[x]);
          break;
        case 16:
          c = painter.Packed(static_cast<uint32_t>(row[x * 2] | (row[x * 2 + 1] << 8)));
          break;
        case 24:
          c = Rgba{row[x * 3 + 2], row[x * 3 + 1], row[x * 3], 255};
          break;
        default: {
          const uint8_t* p = row + x * 4;
          c = painter.Packed(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                             (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
        }
      }
      painter.Put(x, y, c);
    }
  }
}

// RLE8 and RLE4: lines are counted from the bottom; pixels that no packet reaches keep palette
// entry 0. A packet that would write outside the picture is refused, and the data must end with
// the end-of-bitmap code. Without a painter the data is only checked, so that a few bytes claiming
// a huge picture are refused before the picture is reserved.
void ReadRunLength(ByteReader& r, const BmpHeader& h, PixelPainter* painter) {
  const bool fourBits = h.Compression == kBmpRle4;
  const uint64_t width = static_cast<uint64_t>(h.Width);
  const uint64_t height = static_cast<uint64_t>(h.Height);
  if (painter)
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x) painter->Put(x, y, painter->Indexed(0));

  r.Seek(h.DataOffset);
  uint64_t x = 0, line = 0;
  auto requireRoom = [&](uint64_t count) {
    if (line >= height || count > width - std::min(x, width)) Fail("Bitmap: run-length data writes past the picture");
  };
  auto put = [&](uint32_t index) {
    if (painter)
      painter->Put(static_cast<uint32_t>(x), static_cast<uint32_t>(height - 1 - line), painter->Indexed(index));
    ++x;
  };

  for (;;) {
    const uint8_t first = r.U8();
    const uint8_t second = r.U8();
    if (first > 0) {
      requireRoom(first);
      for (unsigned i = 0; i < first; ++i) put(fourBits ? (i % 2 ? second & 0x0F : second >> 4) : second);
      continue;
    }
    switch (second) {
      case 0:  // end of line
        x = 0;
        ++line;
        break;
      case 1:  // end of bitmap
        return;
      case 2:  // delta: move right and up without writing
        x += r.U8();
        line += r.U8();
        break;
      default: {  // absolute: `second` literal pixels, padded to a whole word
        requireRoom(second);
        const size_t bytes = fourBits ? (second + 1u) / 2 : second;
        if (!r.CanRead(bytes + bytes % 2)) throw TruncatedDataError("unexpected end of data");
        const uint8_t* literal = r.Data() + r.Position();
        for (unsigned i = 0; i < second; ++i)
          put(fourBits ? (i % 2 ? literal[i / 2] & 0x0F : literal[i / 2] >> 4) : literal[i]);
        r.Seek(r.Position() + bytes + bytes % 2);
      }
    }
  }
}

RgbaImage DecodeBmpChecked(const uint8_t* data, size_t size) {
  ByteReader r(data, size);
  const BmpHeader h = ReadBmpHeader(r);
  std::vector<Rgba> palette = ReadBmpPalette(r, h);
  const bool hasAlpha = h.HasAlpha();
  const bool runLength = h.RunLength();
  if (runLength) ReadRunLength(r, h, nullptr);
  RgbaImage image = image_detail::NewPicture(static_cast<uint32_t>(h.Width), static_cast<uint32_t>(h.Height), hasAlpha);
  PixelPainter painter(image, h, std::move(palette));
  if (runLength)
    ReadRunLength(r, h, &painter);
  else
    ReadUncompressed(r, h, painter);
  return image;
}

}  // namespace

RgbaImage DecodeBmp(const uint8_t* data, size_t size) {
  try {
    return DecodeBmpChecked(data, size);
  } catch (const TruncatedDataError&) {
    throw ImageDecodeError("Bitmap: the file ends early");
  }
}

}  // namespace kestrel
