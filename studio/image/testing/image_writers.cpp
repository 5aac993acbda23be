#include "studio/image/testing/image_writers.h"

#include <bit>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <jpeglib.h>

#include "archive/byte_reader.h"

namespace kestrel::testing {
namespace {

uint8_t Red(uint32_t c) { return static_cast<uint8_t>(c >> 16); }
uint8_t Green(uint32_t c) { return static_cast<uint8_t>(c >> 8); }
uint8_t Blue(uint32_t c) { return static_cast<uint8_t>(c); }
uint8_t Alpha(uint32_t c) { return static_cast<uint8_t>(c >> 24); }

// The picture's colours in order of first use, alpha kept or dropped, and each pixel's index.
struct Palette {
  std::vector<uint32_t> Colours;
  std::vector<uint32_t> Indices;
};

Palette CollectPalette(const TestPicture& picture, bool keepAlpha, size_t limit) {
  Palette p;
  for (uint32_t c : picture.Argb) {
    if (!keepAlpha) c |= 0xFF000000u;
    size_t i = 0;
    while (i < p.Colours.size() && p.Colours[i] != c) ++i;
    if (i == p.Colours.size()) p.Colours.push_back(c);
    p.Indices.push_back(static_cast<uint32_t>(i));
  }
  if (p.Colours.size() > limit) throw std::invalid_argument("the picture has more colours than the depth holds");
  return p;
}

uint32_t IntoMask(uint8_t value, uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const uint32_t maximum = mask >> shift;
  return static_cast<uint32_t>((static_cast<uint64_t>(value) * maximum + 127) / 255) << shift & mask;
}

uint32_t Packed(uint32_t c, const std::array<uint32_t, 4>& masks) {
  return IntoMask(Red(c), masks[0]) | IntoMask(Green(c), masks[1]) | IntoMask(Blue(c), masks[2]) |
         IntoMask(Alpha(c), masks[3]);
}

// One row of pixel indices as RLE8 or RLE4: runs of one index, and literal stretches of three or
// more in absolute mode, then the end-of-line code.
void EncodeRunLengthRow(ByteWriter& w, const std::vector<uint32_t>& row, bool fourBits) {
  size_t x = 0;
  while (x < row.size()) {
    size_t run = 1;
    while (x + run < row.size() && row[x + run] == row[x] && run < 255) ++run;
    if (run >= 2 || row.size() - x < 3) {
      w.U8(static_cast<uint8_t>(run));
      w.U8(static_cast<uint8_t>(fourBits ? row[x] << 4 | row[x] : row[x]));
      x += run;
      continue;
    }
    size_t literal = 1;  // up to the next pair of equal indices
    while (x + literal < row.size() && literal < 255 &&
           !(x + literal + 1 < row.size() && row[x + literal] == row[x + literal + 1]))
      ++literal;
    if (literal < 3) literal = std::min<size_t>(3, row.size() - x);
    w.U8(0);
    w.U8(static_cast<uint8_t>(literal));
    size_t bytes = 0;
    if (fourBits) {
      for (size_t i = 0; i < literal; i += 2) {
        const uint32_t high = row[x + i], low = i + 1 < literal ? row[x + i + 1] : 0;
        w.U8(static_cast<uint8_t>(high << 4 | low));
        ++bytes;
      }
    } else {
      for (size_t i = 0; i < literal; ++i) w.U8(static_cast<uint8_t>(row[x + i]));
      bytes = literal;
    }
    if (bytes % 2) w.U8(0);
    x += literal;
  }
  w.U8(0);
  w.U8(0);
}

void WriteBmpPixels(ByteWriter& w, const TestPicture& picture, const BmpLayout& layout, const Palette& palette) {
  const bool runLength = layout.Compression == 1 || layout.Compression == 2;
  for (int fileRow = 0; fileRow < picture.Height; ++fileRow) {
    const int y = layout.TopDown ? fileRow : picture.Height - 1 - fileRow;
    const size_t rowStart = static_cast<size_t>(y) * picture.Width;
    if (runLength) {
      std::vector<uint32_t> row(palette.Indices.begin() + rowStart, palette.Indices.begin() + rowStart + picture.Width);
      EncodeRunLengthRow(w, row, layout.Compression == 2);
      continue;
    }
    const size_t before = w.Size();
    uint32_t bitBuffer = 0;
    int bitCount = 0;
    for (int x = 0; x < picture.Width; ++x) {
      const uint32_t c = picture.At(x, y);
      switch (layout.Bits) {
        case 1:
        case 4:
        case 8:
          bitBuffer = bitBuffer << layout.Bits | palette.Indices[rowStart + x];
          bitCount += layout.Bits;
          if (bitCount == 8) {
            w.U8(static_cast<uint8_t>(bitBuffer));
            bitBuffer = 0;
            bitCount = 0;
          }
          break;
        case 16:
          w.U16(static_cast<uint16_t>(Packed(c, layout.Masks)));
          break;
        case 24:
          w.U8(Blue(c));
          w.U8(Green(c));
          w.U8(Red(c));
          break;
        default:
          w.U32(Packed(c, layout.Masks));
      }
    }
    if (bitCount) w.U8(static_cast<uint8_t>(bitBuffer << (8 - bitCount)));
    while ((w.Size() - before) % 4) w.U8(0);
  }
  if (runLength) {
    w.U8(0);
    w.U8(1);
  }
}

// Inverted inks (Adobe's way) hold 255 for no ink: the colour is ink x black / 255 per channel.
// With black, the black ink takes the brightest channel and the colour inks scale up to meet it.
std::array<uint8_t, 4> CmykInks(uint32_t c, const JpegLayout& layout) {
  std::array<uint8_t, 4> inks = {Red(c), Green(c), Blue(c), 255};
  if (layout.Black) {
    const unsigned brightest = std::max({Red(c), Green(c), Blue(c)});
    inks[3] = static_cast<uint8_t>(brightest);
    for (int i = 0; i < 3; ++i)
      inks[i] = brightest == 0 ? 255 : static_cast<uint8_t>((inks[i] * 255u + brightest / 2) / brightest);
  }
  if (layout.NoAdobeMarker)
    for (uint8_t& ink : inks) ink = static_cast<uint8_t>(255 - ink);
  return inks;
}

}  // namespace

TestPicture DrawPicture(int width, int height, const PixelColour& colour) {
  TestPicture p{width, height, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) p.Argb.push_back(colour(x, y));
  return p;
}

std::vector<uint8_t> RgbaBytes(const TestPicture& picture, bool withAlpha) {
  std::vector<uint8_t> bytes;
  for (uint32_t c : picture.Argb)
    bytes.insert(bytes.end(), {Red(c), Green(c), Blue(c), withAlpha ? Alpha(c) : uint8_t{255}});
  return bytes;
}

std::vector<uint8_t> BmpBytes(const TestPicture& picture, const BmpLayout& layout) {
  std::array<uint32_t, 4> masks = layout.Masks;
  if (layout.Compression == 0)
    masks = layout.Bits == 16 ? std::array<uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                              : std::array<uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0};
  BmpLayout effective = layout;
  effective.Masks = masks;

  Palette palette;
  size_t paletteEntries = 0;
  if (layout.Bits <= 8) {
    palette = CollectPalette(picture, false, size_t{1} << layout.Bits);
    const bool full = layout.FullPalette || layout.HeaderSize == 12;
    paletteEntries = full ? size_t{1} << layout.Bits : palette.Colours.size();
  }
  const bool core = layout.HeaderSize == 12;
  const bool masksAfterHeader = layout.HeaderSize == 40 && (layout.Compression == 3 || layout.Compression == 6);
  const size_t maskBytes = masksAfterHeader ? (layout.Compression == 6 ? 16 : 12) : 0;
  const size_t dataOffset =
      14 + layout.HeaderSize + maskBytes + paletteEntries * (core ? 3 : 4) + layout.GapBeforePixels;

  ByteWriter w;
  w.U8('B');
  w.U8('M');
  w.U32(0);  // file size, patched below
  w.U32(0);
  w.U32(static_cast<uint32_t>(dataOffset));
  w.U32(layout.HeaderSize);
  const int32_t height = layout.TopDown ? -picture.Height : picture.Height;
  if (core) {
    w.U16(static_cast<uint16_t>(picture.Width));
    w.U16(static_cast<uint16_t>(picture.Height));
    w.U16(1);
    w.U16(layout.Bits);
  } else {
    w.I32(picture.Width);
    w.I32(height);
    w.U16(1);
    w.U16(layout.Bits);
    w.U32(layout.Compression);
    w.U32(layout.ImageSizeField);
    w.U32(2835);  // 72 dots per inch
    w.U32(2835);
    w.U32(layout.Bits <= 8 && !layout.FullPalette ? static_cast<uint32_t>(palette.Colours.size()) : 0);
    w.U32(0);
    if (layout.HeaderSize >= 52)
      for (int i = 0; i < 3; ++i) w.U32(masks[i]);
    if (layout.HeaderSize >= 56) w.U32(masks[3]);
    while (w.Size() < 14 + layout.HeaderSize) w.U8(0);  // colour space fields: unused here
    if (masksAfterHeader)
      for (size_t i = 0; i < maskBytes / 4; ++i) w.U32(masks[i]);
  }
  for (size_t i = 0; i < paletteEntries; ++i) {
    const uint32_t c = i < palette.Colours.size() ? palette.Colours[i] : 0;
    w.U8(Blue(c));
    w.U8(Green(c));
    w.U8(Red(c));
    if (!core) w.U8(0);
  }
  w.Bytes().insert(w.Bytes().end(), layout.GapBeforePixels, 0xEE);
  WriteBmpPixels(w, picture, effective, palette);
  w.PatchU32(2, static_cast<uint32_t>(w.Size()));
  return std::move(w.Bytes());
}

std::vector<uint8_t> TgaBytes(const TestPicture& picture, const TgaLayout& layout) {
  const uint8_t base = layout.ImageType > 8 ? layout.ImageType - 8 : layout.ImageType;
  const bool runLength = layout.ImageType > 8;
  Palette palette;
  if (base == 1) palette = CollectPalette(picture, layout.MapEntryBits == 32, 256);
  const uint8_t entryBits = base == 1 ? layout.MapEntryBits : layout.Bits;
  uint8_t attributeBits = layout.AttributeBits;
  if (attributeBits == 0xFF) attributeBits = entryBits == 32 ? 8 : 0;

  ByteWriter w;
  w.U8(static_cast<uint8_t>(layout.Id.size()));
  w.U8(base == 1 ? 1 : 0);
  w.U8(layout.ImageType);
  w.U16(base == 1 ? layout.MapFirst : 0);
  w.U16(static_cast<uint16_t>(palette.Colours.size()));
  w.U8(base == 1 ? layout.MapEntryBits : 0);
  w.U16(0);
  w.U16(0);
  w.U16(static_cast<uint16_t>(picture.Width));
  w.U16(static_cast<uint16_t>(picture.Height));
  w.U8(layout.Bits);
  w.U8(static_cast<uint8_t>(attributeBits | (layout.RightToLeft ? 0x10 : 0) | (layout.TopOrigin ? 0x20 : 0)));
  w.Raw(layout.Id.data(), layout.Id.size());

  auto storedColour = [&](uint32_t c, uint8_t bits) {
    std::vector<uint8_t> out;
    if (bits == 15 || bits == 16) {
      uint32_t v = IntoMask(Red(c), 0x7C00) | IntoMask(Green(c), 0x03E0) | IntoMask(Blue(c), 0x001F);
      if (bits == 16 && Alpha(c) >= 128) v |= 0x8000;
      out = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    } else {
      out = {Blue(c), Green(c), Red(c)};
      if (bits == 32) out.push_back(Alpha(c));
    }
    return out;
  };
  for (uint32_t c : palette.Colours) {
    const std::vector<uint8_t> entry = storedColour(c, layout.MapEntryBits);
    w.Raw(entry.data(), entry.size());
  }

  // The pixels in file order, each as its stored bytes.
  std::vector<std::vector<uint8_t>> stream;
  for (int row = 0; row < picture.Height; ++row) {
    const int y = layout.TopOrigin ? row : picture.Height - 1 - row;
    for (int column = 0; column < picture.Width; ++column) {
      const int x = layout.RightToLeft ? picture.Width - 1 - column : column;
      const size_t i = static_cast<size_t>(y) * picture.Width + x;
      if (base == 1) {
        const uint32_t index = palette.Indices[i] + layout.MapFirst;
        if (layout.Bits == 16)
          stream.push_back({static_cast<uint8_t>(index), static_cast<uint8_t>(index >> 8)});
        else
          stream.push_back({static_cast<uint8_t>(index)});
      }
      else if (base == 3)
        stream.push_back({Red(picture.Argb[i])});
      else
        stream.push_back(storedColour(picture.Argb[i], layout.Bits));
    }
  }
  size_t i = 0;
  while (i < stream.size()) {
    if (!runLength) {
      w.Raw(stream[i].data(), stream[i].size());
      ++i;
      continue;
    }
    size_t run = 1;
    while (i + run < stream.size() && stream[i + run] == stream[i] && run < 128) ++run;
    if (run >= 2) {
      w.U8(static_cast<uint8_t>(0x80 | (run - 1)));
      w.Raw(stream[i].data(), stream[i].size());
      i += run;
      continue;
    }
    size_t raw = 1;
    while (i + raw < stream.size() && raw < 128 &&
           !(i + raw + 1 < stream.size() && stream[i + raw] == stream[i + raw + 1]))
      ++raw;
    w.U8(static_cast<uint8_t>(raw - 1));
    for (size_t k = 0; k < raw; ++k) w.Raw(stream[i + k].data(), stream[i + k].size());
    i += raw;
  }
  return std::move(w.Bytes());
}

std::vector<uint8_t> JpegBytes(const TestPicture& picture, const JpegLayout& layout) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);  // a test writer: libjpeg's default exit on error is fine
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(picture.Width);
  info.image_height = static_cast<JDIMENSION>(picture.Height);
  info.input_components = layout.Grey ? 1 : layout.Cmyk ? 4 : 3;
  info.in_color_space = layout.Grey ? JCS_GRAYSCALE : layout.Cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, layout.Quality, TRUE);
  if (layout.FlatTable) {
    const std::vector<unsigned> flat(DCTSIZE2, static_cast<unsigned>(layout.FlatTable));
    for (int slot = 0; slot < 2; ++slot) jpeg_add_quant_table(&info, slot, flat.data(), 100, TRUE);
  }
  if (!layout.HalfColour)
    for (int i = 0; i < info.num_components; ++i) info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;
  if (layout.Progressive) jpeg_simple_progression(&info);
  if (layout.Cmyk && layout.NoAdobeMarker) info.write_Adobe_marker = FALSE;
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> row;
  for (int y = 0; y < picture.Height; ++y) {
    row.clear();
    for (int x = 0; x < picture.Width; ++x) {
      const uint32_t c = picture.At(x, y);
      if (layout.Grey) {
        row.push_back(Red(c));
      } else if (layout.Cmyk) {
        const std::array<uint8_t, 4> inks = CmykInks(c, layout);
        row.insert(row.end(), inks.begin(), inks.end());
      } else {
        row.insert(row.end(), {Red(c), Green(c), Blue(c)});
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<uint8_t> bytes(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return bytes;
}

}  // namespace kestrel::testing
