#include "studio/image/targa_header.h"

#include <string>

#include "studio/image/image_decoder.h"

namespace kestrel::image_detail {

Rgba DecodeTargaColour(const uint8_t* p, uint8_t bits, bool alpha) {
  if (bits == 15 || bits == 16) {
    const uint32_t v = static_cast<uint32_t>(p[0] | (p[1] << 8));
    Rgba c{image_detail::ScaleChannel((v >> 10) & 31, 31), image_detail::ScaleChannel((v >> 5) & 31, 31),
           image_detail::ScaleChannel(v & 31, 31), 255};
    if (alpha && bits == 16) c.A = (v & 0x8000) ? 255 : 0;
    return c;
  }
  return Rgba{p[2], p[1], p[0], static_cast<uint8_t>(bits == 32 && alpha ? p[3] : 255)};
}

bool TargaHasAlphaAt(uint8_t bits, uint8_t attributeBits) { return bits == 32 || (bits == 16 && attributeBits == 1); }

namespace {

bool IsColourDepth(uint8_t bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

// Colour-mapped pictures store 8- or 16-bit indices, grey ones 8-bit levels.
bool IsDepthOf(uint8_t baseType, uint8_t bits) {
  if (baseType == 1) return bits == 8 || bits == 16;
  if (baseType == 2) return IsColourDepth(bits);
  return bits == 8;
}

}  // namespace

TargaHeader ReadTargaHeader(ByteReader& r) {
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

std::vector<Rgba> ReadTargaColourMap(ByteReader& r, const TargaHeader& h) {
  r.Seek(kTargaHeaderSize + h.IdLength);
  if (h.ColourMapType != 1) return {};
  const size_t entryBytes = (h.MapEntryBits + 7) / 8;
  if (!r.CanReadRecords(h.MapLength, entryBytes)) Fail("Targa: the colour map ends past the end of the file");
  const bool alpha = TargaHasAlphaAt(h.MapEntryBits, h.AttributeBits());
  std::vector<Rgba> map(h.MapLength);
  for (Rgba& c : map) {
    c = DecodeTargaColour(r.Data() + r.Position(), h.MapEntryBits, alpha);
    r.Seek(r.Position() + entryBytes);
  }
  return map;
}

}  // namespace kestrel::image_detail
