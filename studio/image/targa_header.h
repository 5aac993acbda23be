// A Targa file's header and colour map as the decoder reads them and the encoder keeps them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/byte_reader.h"
#include "studio/image/picture_canvas.h"

namespace kestrel::image_detail {

constexpr size_t kTargaHeaderSize = 18;

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
// alpha where `alpha` says so.
Rgba DecodeTargaColour(const uint8_t* p, uint8_t bits, bool alpha);
// The fourth byte of a 32-bit colour is alpha, as writers use it whatever the descriptor says;
// the top bit of a 16-bit colour only when the descriptor announces one attribute bit, since most
// writers leave that bit clear.
bool TargaHasAlphaAt(uint8_t bits, uint8_t attributeBits);

// Both throw ImageDecodeError (or TruncatedDataError for a file that ends early). The colour map
// is read from its place after the header and image id; the reader is left after it.
TargaHeader ReadTargaHeader(ByteReader& r);
std::vector<Rgba> ReadTargaColourMap(ByteReader& r, const TargaHeader& h);

}  // namespace kestrel::image_detail
