#include "studio/image/bmp_header.h"

#include <string>

#include "studio/image/image_decoder.h"

namespace kestrel::image_detail {
namespace {

bool IsInfoHeaderSize(uint32_t size) { return size == 40 || size == 52 || size == 56 || size == 108 || size == 124; }

bool IsSupportedLayout(uint16_t bits, uint32_t compression) {
  switch (bits) {
    case 1:
    case 24:
      return compression == kBmpRgb;
    case 4:
      return compression == kBmpRgb || compression == kBmpRle4;
    case 8:
      return compression == kBmpRgb || compression == kBmpRle8;
    case 16:
    case 32:
      return compression == kBmpRgb || compression == kBmpBitFields || compression == kBmpAlphaBitFields;
    default:
      return false;
  }
}

}  // namespace

BmpHeader ReadBmpHeader(ByteReader& r) {
  BmpHeader h;
  if (r.Size() < 2 || r.U8() != 'B' || r.U8() != 'M') Fail("Bitmap: the file does not begin with \"BM\"");
  r.U32();  // file size, which writers fill in unreliably
  r.U32();  // reserved
  h.DataOffset = r.U32();
  h.HeaderSize = r.U32();
  if (h.HeaderSize == 12) {
    h.Width = r.U16();
    h.Height = r.U16();
    r.U16();  // planes
    h.Bits = r.U16();
    h.PaletteEntrySize = 3;
  } else if (IsInfoHeaderSize(h.HeaderSize)) {
    h.Width = r.I32();
    h.Height = r.I32();
    r.U16();  // planes
    h.Bits = r.U16();
    h.Compression = r.U32();
    r.U32();  // image size: ignored, since writers often get it wrong
    r.U32();  // resolution
    r.U32();
    h.ColoursUsed = r.U32();
    r.U32();  // colours important
    if (h.HeaderSize >= 52)
      for (int i = 0; i < 3; ++i) h.Masks[i] = r.U32();
    if (h.HeaderSize >= 56) {
      h.Masks[3] = r.U32();
      h.AlphaMaskDefined = true;
    }
    r.Seek(kBmpFileHeaderSize + h.HeaderSize);
    // The plain info header keeps its masks just after itself.
    if (h.HeaderSize == 40 && (h.Compression == kBmpBitFields || h.Compression == kBmpAlphaBitFields)) {
      for (int i = 0; i < 3; ++i) h.Masks[i] = r.U32();
      if (h.Compression == kBmpAlphaBitFields) {
        h.Masks[3] = r.U32();
        h.AlphaMaskDefined = true;
      }
    }
  } else {
    Fail("Bitmap: an information header of " + std::to_string(h.HeaderSize) + " bytes is not supported");
  }
  h.PaletteOffset = r.Position();
  if (h.Height < 0) {
    h.TopDown = true;
    h.Height = -h.Height;  // int64_t: also safe for INT32_MIN
  }
  image_detail::CheckSides("Bitmap", h.Width, h.Height);

  if (!IsSupportedLayout(h.Bits, h.Compression))
    Fail("Bitmap: " + std::to_string(h.Bits) + " bits per pixel with compression " + std::to_string(h.Compression) +
         " is not supported");
  if (h.TopDown && (h.Compression == kBmpRle8 || h.Compression == kBmpRle4))
    Fail("Bitmap: a top-down bitmap cannot be run-length encoded");

  if (h.Compression == kBmpRgb) {
    // Without bit fields the layout is fixed, whatever masks a larger header carries.
    h.Masks = h.Bits == 16 ? std::array<uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                           : std::array<uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0};
    h.AlphaMaskDefined = false;
  }
  if ((h.Bits == 16 || h.Bits == 32) && (h.Masks[0] | h.Masks[1] | h.Masks[2]) == 0)
    Fail("Bitmap: the colour masks are all empty");
  if (h.DataOffset < h.PaletteOffset) Fail("Bitmap: the pixel data offset points into the headers");
  if (h.DataOffset > r.Size()) Fail("Bitmap: the pixel data starts past the end of the file");
  return h;
}

std::vector<Rgba> ReadBmpPalette(ByteReader& r, const BmpHeader& h) {
  if (h.Bits > 8) return {};
  const uint32_t full = 1u << h.Bits;
  const uint32_t count = h.ColoursUsed == 0 || h.ColoursUsed > full ? full : h.ColoursUsed;
  r.Seek(h.PaletteOffset);
  if (!r.CanReadRecords(count, h.PaletteEntrySize)) Fail("Bitmap: the palette ends past the end of the file");
  std::vector<Rgba> palette(count);
  for (Rgba& c : palette) {
    c.B = r.U8();
    c.G = r.U8();
    c.R = r.U8();
    if (h.PaletteEntrySize == 4) r.U8();
  }
  return palette;
}

}  // namespace kestrel::image_detail
