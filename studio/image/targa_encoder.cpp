// A picture written as a Targa file of an entry's layout: its header, image id and colour map
// kept where the picture allows, the same type, depth, origin and run-length form.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "archive/byte_reader.h"
#include "studio/image/palette_mapping.h"
#include "studio/image/picture_encoding.h"
#include "studio/image/targa_header.h"

namespace kestrel::image_detail {
namespace {

constexpr size_t kWidthAt = 12;
constexpr char kFooterSignature[] = "TRUEVISION-XFILE.";  // with its terminating zero: 18 bytes
constexpr size_t kFooterSize = 26;

bool HasFooter(const std::vector<uint8_t>& entry) {
  return entry.size() >= kFooterSize &&
         std::memcmp(entry.data() + entry.size() - sizeof kFooterSignature, kFooterSignature, sizeof kFooterSignature) == 0;
}

// A colour as `bits` bits store it, blue first.
void StoreColour(std::vector<uint8_t>& out, const uint8_t* rgba, uint8_t bits, bool alpha) {
  if (bits == 15 || bits == 16) {
    uint32_t v = IntoMask(rgba[0], 0x7C00) | IntoMask(rgba[1], 0x03E0) | IntoMask(rgba[2], 0x001F);
    if (bits == 16 && alpha && rgba[3] >= 128) v |= 0x8000;
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
    return;
  }
  out.insert(out.end(), {rgba[2], rgba[1], rgba[0]});
  if (bits == 32) out.push_back(alpha ? rgba[3] : 0);
}

// Run-length packets of `pixelBytes`-byte pixels, each packet within one row.
void RunLengthRow(std::vector<uint8_t>& out, const uint8_t* row, size_t width, size_t pixelBytes) {
  auto same = [&](size_t a, size_t b) { return std::memcmp(row + a * pixelBytes, row + b * pixelBytes, pixelBytes) == 0; };
  size_t x = 0;
  while (x < width) {
    size_t run = 1;
    while (x + run < width && run < 128 && same(x, x + run)) ++run;
    if (run >= 2) {
      out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
      out.insert(out.end(), row + x * pixelBytes, row + (x + 1) * pixelBytes);
      x += run;
      continue;
    }
    size_t raw = 1;
    while (x + raw < width && raw < 128 && !(x + raw + 1 < width && same(x + raw, x + raw + 1))) ++raw;
    out.push_back(static_cast<uint8_t>(raw - 1));
    out.insert(out.end(), row + x * pixelBytes, row + (x + raw) * pixelBytes);
    x += raw;
  }
}

}  // namespace

std::vector<uint8_t> EncodeTargaLike(const std::vector<uint8_t>& entry, bool entryHasAlpha, const RgbaImage& picture,
                                     Warnings& warnings) {
  ByteReader r(entry.data(), entry.size());
  const TargaHeader h = ReadTargaHeader(r);
  const std::vector<Rgba> map = ReadTargaColourMap(r, h);
  std::vector<uint8_t> out(entry.begin(), entry.begin() + static_cast<std::ptrdiff_t>(r.Position()));
  PutU16(out, kWidthAt, picture.Width);
  PutU16(out, kWidthAt + 2, picture.Height);

  // Every pixel's stored bytes, top row first, left to right.
  std::vector<uint8_t> stored;
  const uint8_t base = h.BaseType();
  if (base == 1) {
    const bool mapAlpha = TargaHasAlphaAt(h.MapEntryBits, h.AttributeBits());
    std::vector<uint32_t> indices;
    if (auto kept = IndicesInPalette(picture, map, mapAlpha)) {
      indices = std::move(*kept);
    } else {
      const size_t indexLimit = h.Bits == 8 ? 256u - std::min<size_t>(h.MapFirst, 255) : 256u;
      IndexedPicture reduced = ReducedToPalette(picture, std::min<size_t>(map.size(), indexLimit), mapAlpha);
      warnings.push_back("the picture's colours are not all in the entry's colour map of " + std::to_string(map.size()) +
                         "; they were reduced to a new map of " + std::to_string(reduced.Palette.size()));
      out.resize(kTargaHeaderSize + h.IdLength);
      PutU16(out, 5, static_cast<uint32_t>(reduced.Palette.size()));
      for (const Rgba& c : reduced.Palette) {
        const uint8_t rgba[4] = {c.R, c.G, c.B, c.A};
        StoreColour(out, rgba, h.MapEntryBits, mapAlpha);
      }
      indices = std::move(reduced.Indices);
    }
    for (uint32_t i : indices) {
      const uint32_t index = i + h.MapFirst;
      stored.push_back(static_cast<uint8_t>(index));
      if (h.Bits == 16) stored.push_back(static_cast<uint8_t>(index >> 8));
    }
  } else if (base == 3) {
    if (!IsGrey(picture)) warnings.push_back("the picture's colours become grey, as the entry stores grey levels");
    for (size_t i = 0; i < picture.Pixels.size(); i += 4) stored.push_back(GreyOf(&picture.Pixels[i]));
  } else {
    for (size_t i = 0; i < picture.Pixels.size(); i += 4) StoreColour(stored, &picture.Pixels[i], h.Bits, entryHasAlpha);
  }

  // Rows and columns in the entry's order.
  const size_t pixelBytes = (h.Bits + 7) / 8;
  const size_t rowBytes = picture.Width * pixelBytes;
  std::vector<uint8_t> row(rowBytes);
  for (size_t fileRow = 0; fileRow < picture.Height; ++fileRow) {
    const size_t y = h.TopOrigin() ? fileRow : picture.Height - 1 - fileRow;
    for (size_t column = 0; column < picture.Width; ++column) {
      const size_t x = h.RightToLeft() ? picture.Width - 1 - column : column;
      std::memcpy(&row[column * pixelBytes], &stored[(y * picture.Width + x) * pixelBytes], pixelBytes);
    }
    if (h.RunLength())
      RunLengthRow(out, row.data(), picture.Width, pixelBytes);
    else
      out.insert(out.end(), row.begin(), row.end());
  }
  // The extension and developer areas are not carried over (their offsets would be stale), but a
  // file that ended with the footer still announces the format's second version.
  if (HasFooter(entry)) {
    out.insert(out.end(), 8, 0);
    out.insert(out.end(), kFooterSignature, kFooterSignature + sizeof kFooterSignature);
  }
  return out;
}

}  // namespace kestrel::image_detail
