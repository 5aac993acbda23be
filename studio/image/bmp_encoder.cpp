// A picture written as a Windows bitmap of an entry's layout. The entry's bytes up to its pixel
// data (headers, masks, palette, any gap) are kept and only the fields that follow from the new
// picture change, so that whatever a game reads from them stays.
#include <algorithm>
#include <string>
#include <vector>

#include "archive/byte_reader.h"
#include "studio/image/bmp_header.h"
#include "studio/image/palette_mapping.h"
#include "studio/image/picture_encoding.h"

namespace kestrel::image_detail {
namespace {

constexpr size_t kFileSizeAt = 2, kWidthAt = 18, kImageSizeAt = 34, kProfileAt = 126;

// One row of indices as RLE8 or RLE4: runs of one index, literal stretches of three or more, and
// the end-of-line code. RLE4 stretches are always of even length, since some readers drop the last
// pixel of an odd one.
void RunLengthRow(std::vector<uint8_t>& out, const uint32_t* row, size_t width, bool fourBits) {
  size_t x = 0;
  while (x < width) {
    size_t run = 1;
    while (x + run < width && row[x + run] == row[x] && run < 255) ++run;
    if (run >= 2 || width - x < 3) {
      out.push_back(static_cast<uint8_t>(run));
      out.push_back(static_cast<uint8_t>(fourBits ? row[x] << 4 | row[x] : row[x]));
      x += run;
      continue;
    }
    size_t literal = 3;
    while (x + literal < width && literal < 254 && !(x + literal + 1 < width && row[x + literal] == row[x + literal + 1]))
      ++literal;
    if (fourBits && literal % 2) {
      if (x + literal < width) {
        ++literal;
      } else if (literal > 3) {
        --literal;  // the row's last pixel follows as a run of one
      } else {
        out.push_back(1);
        out.push_back(static_cast<uint8_t>(row[x] << 4 | row[x]));
        ++x;
        continue;
      }
    }
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(literal));
    size_t bytes = 0;
    for (size_t i = 0; i < literal; i += fourBits ? 2 : 1, ++bytes)
      out.push_back(static_cast<uint8_t>(fourBits ? row[x + i] << 4 | (i + 1 < literal ? row[x + i + 1] : 0) : row[x + i]));
    if (bytes % 2) out.push_back(0);
    x += literal;
  }
  out.push_back(0);
  out.push_back(0);
}

uint32_t PackedPixel(const uint8_t* p, const BmpHeader& h) {
  uint32_t v = IntoMask(p[0], h.Masks[0]) | IntoMask(p[1], h.Masks[1]) | IntoMask(p[2], h.Masks[2]);
  if (h.HasAlpha()) v |= IntoMask(p[3], h.Masks[3]);
  return v;
}

std::vector<uint8_t> PixelData(const RgbaImage& picture, const BmpHeader& h, const std::vector<uint32_t>& indices) {
  std::vector<uint8_t> out;
  const size_t width = picture.Width;
  if (h.RunLength()) {
    for (size_t line = 0; line < picture.Height; ++line)
      RunLengthRow(out, &indices[(picture.Height - 1 - line) * width], width, h.Compression == kBmpRle4);
    out.push_back(0);
    out.push_back(1);
    return out;
  }
  const size_t stride = (width * h.Bits + 31) / 32 * 4;
  out.assign(stride * picture.Height, 0);
  for (size_t fileRow = 0; fileRow < picture.Height; ++fileRow) {
    const size_t y = h.TopDown ? fileRow : picture.Height - 1 - fileRow;
    uint8_t* row = &out[fileRow * stride];
    for (size_t x = 0; x < width; ++x) {
      const uint8_t* p = &picture.Pixels[(y * width + x) * 4];
      switch (h.Bits) {
        case 1:
        case 4:
        case 8: {
          const size_t bit = x * h.Bits;
          row[bit / 8] |= static_cast<uint8_t>(indices[y * width + x] << (8 - h.Bits - bit % 8));
          break;
        }
        case 16:
          PutU16(out, fileRow * stride + x * 2, PackedPixel(p, h));
          break;
        case 24:
          row[x * 3] = p[2];
          row[x * 3 + 1] = p[1];
          row[x * 3 + 2] = p[0];
          break;
        default:
          PutU32(out, fileRow * stride + x * 4, PackedPixel(p, h));
      }
    }
  }
  return out;
}

}  // namespace

std::vector<uint8_t> EncodeBmpLike(const std::vector<uint8_t>& entry, const RgbaImage& picture, Warnings& warnings) {
  ByteReader r(entry.data(), entry.size());
  const BmpHeader h = ReadBmpHeader(r);
  std::vector<uint8_t> out(entry.begin(), entry.begin() + h.DataOffset);

  std::vector<uint32_t> indices;
  if (h.Bits <= 8) {
    const std::vector<Rgba> palette = ReadBmpPalette(r, h);
    if (auto kept = IndicesInPalette(picture, palette, false)) {
      indices = std::move(*kept);
    } else {
      IndexedPicture reduced = ReducedToPalette(picture, palette.size(), false);
      warnings.push_back("the picture's colours are not all in the entry's palette of " +
                         std::to_string(palette.size()) + "; they were reduced to a new palette of that size");
      for (size_t i = 0; i < reduced.Palette.size(); ++i) {
        uint8_t* p = &out[h.PaletteOffset + i * h.PaletteEntrySize];
        p[0] = reduced.Palette[i].B;
        p[1] = reduced.Palette[i].G;
        p[2] = reduced.Palette[i].R;
      }
      indices = std::move(reduced.Indices);
    }
  }

  const std::vector<uint8_t> pixels = PixelData(picture, h, indices);
  if (h.HeaderSize == 12) {
    PutU16(out, kWidthAt, picture.Width);
    PutU16(out, kWidthAt + 2, picture.Height);
  } else {
    PutU32(out, kWidthAt, picture.Width);
    PutU32(out, kWidthAt + 4, h.TopDown ? 0u - picture.Height : picture.Height);
    // Run-length data needs its size; elsewhere a 0 that the entry had stays.
    uint32_t imageSize = 0;
    ByteReader field(entry.data() + kImageSizeAt, 4);
    if (field.U32() != 0 || h.RunLength()) imageSize = static_cast<uint32_t>(pixels.size());
    PutU32(out, kImageSizeAt, imageSize);
  }
  // Only the bytes before the pixels are kept: a colour profile stored after them is left out, and
  // the header then names none.
  if (h.HeaderSize == 124) {
    ByteReader profile(entry.data() + kProfileAt, 8);
    if (kBmpFileHeaderSize + uint64_t{profile.U32()} >= h.DataOffset && profile.U32() != 0) {
      PutU32(out, kProfileAt, 0);
      PutU32(out, kProfileAt + 4, 0);
    }
  }
  out.insert(out.end(), pixels.begin(), pixels.end());
  PutU32(out, kFileSizeAt, static_cast<uint32_t>(out.size()));
  return out;
}

}  // namespace kestrel::image_detail
