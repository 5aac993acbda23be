// Targa files: colour-mapped (1), true colour (2) and grey (3) pictures and their run-length
// forms (9, 10, 11), 8 to 32 bits, either origin.
#include <string>
#include <vector>

#include "archive/byte_reader.h"
#include "studio/image/image_decoder.h"
#include "studio/image/picture_canvas.h"

namespace kestrel {
namespace {

using image_detail::Fail;
using image_detail::Rgba;

constexpr size_t kHeaderSize = 18;

struct TargaHeader {
  uint8_t IdLength = 0;
  uint8_t ColourMapType = 0;
  uint8_t ImageType = 0;
  uint16_t MapFirst = 0;
  uint16_t MapLength = 0;
  uint8_t MapEntryBits = 0;
  uint16_t Width = 0;
  uint16_t Height = 0;
  uint8_t Bits = 0;
  uint8_t Descriptor = 0;

  uint8_t AttributeBits() const { return Descriptor & 0x0F; }
  bool RightToLeft() const { return (Descriptor & 0x10) != 0; }
  bool TopOrigin() const { return (Descriptor & 0x20) != 0; }
  bool RunLength() const { return ImageType >= 9; }
  uint8_t BaseType() const { return RunLength() ? ImageType - 8 : ImageType; }
};

// A stored colour (a pixel or a colour-map entry) of 15, 16, 24 or 32 bits, blue first, with its
// alpha where HasAlphaAt says so.
Rgba DecodeColour(const uint8_t* p, uint8_t bits, bool alpha) {
  if (bits == 15 || bits == 16) {
    const uint32_t v = static_cast<uint32_t>(p[0] | (p[1] << 8));
    Rgba c{image_detail::ScaleChannel((v >> 10) & 31, 31), image_detail::ScaleChannel((v >> 5) & 31, 31),
           image_detail::ScaleChannel(v & 31, 31), 255};
    if (alpha && bits == 16) c.A = (v & 0x8000) ? 255 : 0;
    return c;
  }
  return Rgba{p[2], p[1], p[0], static_cast<uint8_t>(bits == 32 && alpha ? p[3] : 255)};
}

// The fourth byte of a 32-bit colour is alpha, as writers use it whatever the descriptor says;
// the top bit of a 16-bit colour only when the descriptor announces one attribute bit, since most
// writers leave that bit clear.
bool HasAlphaAt(uint8_t bits, uint8_t attributeBits) { return bits == 32 || (bits == 16 && attributeBits == 1); }

bool IsColourDepth(uint8_t bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

// Colour-mapped pictures store 8- or 16-bit indices, grey ones 8-bit levels.
bool IsDepthOf(uint8_t baseType, uint8_t bits) {
  if (baseType == 1) return bits == 8 || bits == 16;
  if (baseType == 2) return IsColourDepth(bits);
  return bits == 8;
}

class TargaPixels {
 public:
  TargaPixels(const TargaHeader& h, std::vector<Rgba> map)
      : h_(h), map_(std::move(map)), bytes_((h.Bits + 7) / 8), alpha_(HasAlphaAt(h.Bits, h.AttributeBits())) {}

  size_t BytesPerPixel() const { return bytes_; }
  bool HasAlpha() const {
    if (h_.BaseType() == 1) return HasAlphaAt(h_.MapEntryBits, h_.AttributeBits());
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
        return DecodeColour(p, h_.Bits, alpha_);
    }
  }

 private:
  const TargaHeader& h_;
  std::vector<Rgba> map_;
  size_t bytes_;
  bool alpha_;
};

TargaHeader ReadHeader(ByteReader& r) {
  TargaHeader h;
  h.IdLength = r.U8();
  h.ColourMapType = r.U8();
  h.ImageType = r.U8();
  h.MapFirst = r.U16();
  h.MapLength = r.U16();
  h.MapEntryBits = r.U8();
  r.U16();  // origin on screen
  r.U16();
  h.Width = r.U16();
  h.Height = r.U16();
  h.Bits = r.U8();
  h.Descriptor = r.U8();

  const uint8_t base = h.BaseType();
  if (base < 1 || base > 3) Fail("Targa: image type " + std::to_string(h.ImageType) + " is not supported");
  if (h.ColourMapType > 1) Fail("Targa: colour map type " + std::to_string(h.ColourMapType) + " is not supported");
  image_detail::CheckSides("Targa", h.Width, h.Height);
  if (!IsDepthOf(base, h.Bits))
    Fail("Targa: " + std::to_string(h.Bits) + " bits per pixel are not supported for image type " +
         std::to_string(h.ImageType));
  if (base == 1 && h.ColourMapType != 1) Fail("Targa: a colour-mapped picture without a colour map");
  if (h.ColourMapType == 1 && !IsColourDepth(h.MapEntryBits))
    Fail("Targa: colour-map entries of " + std::to_string(h.MapEntryBits) + " bits are not supported");
  return h;
}

std::vector<Rgba> ReadColourMap(ByteReader& r, const TargaHeader& h) {
  r.Seek(kHeaderSize + h.IdLength);
  if (h.ColourMapType != 1) return {};
  const size_t entryBytes = (h.MapEntryBits + 7) / 8;
  if (!r.CanReadRecords(h.MapLength, entryBytes)) Fail("Targa: the colour map ends past the end of the file");
  const bool alpha = HasAlphaAt(h.MapEntryBits, h.AttributeBits());
  std::vector<Rgba> map(h.MapLength);
  for (Rgba& c : map) {
    c = DecodeColour(r.Data() + r.Position(), h.MapEntryBits, alpha);
    r.Seek(r.Position() + entryBytes);
  }
  return map;
}

RgbaImage DecodeTargaChecked(const uint8_t* data, size_t size) {
  ByteReader r(data, size);
  const TargaHeader h = ReadHeader(r);
  const TargaPixels pixels(h, ReadColourMap(r, h));
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
