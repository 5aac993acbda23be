// Pictures from outside (PNG, BMP, Targa, JPEG) written in the format of an image entry as it is
// stored: the same kind of file with the same layout, so that a game reading the entry finds what
// it expects. Plain C++ over byte buffers, for kestrel-cli and the studio alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "studio/image/image_decoder.h"

namespace kestrel {

// PNG through libpng: 8 bits per channel, alpha where the file has any (tRNS included).
RgbaImage DecodePng(const uint8_t* data, size_t size);

// Whether the file name ends in .png, .bmp, .tga, .jpg or .jpeg (any letter case).
bool IsPictureFileName(std::string_view fileName);
// Decodes a picture file by its name's extension; an unknown extension is an ImageDecodeError too.
RgbaImage DecodePictureFile(std::string_view fileName, const uint8_t* data, size_t size);

struct EncodedPicture {
  std::vector<uint8_t> Bytes;
  // What the user should know: alpha dropped, colours reduced to the entry's palette, a side that
  // is not a power of two. Each a sentence without the entry's name.
  std::vector<std::string> Warnings;
  // The picture's pixels are the entry's present pixels: Bytes are the entry's bytes, unchanged.
  bool Unchanged = false;
};

// `picture` encoded like `entry`, an image file of `kind` (the entry's stored bytes, decoded from
// the archive). Throws ImageDecodeError when the entry itself cannot be read, and
// std::runtime_error when the encoding fails.
EncodedPicture EncodeLikeEntry(ImageKind kind, const std::vector<uint8_t>& entry, const RgbaImage& picture);

// The quality (1 to 100) whose standard quantisation tables the JPEG file uses, or nothing when
// its tables are not scaled standard ones. Throws ImageDecodeError for a file that cannot be read.
std::optional<int> EstimateJpegQuality(const uint8_t* data, size_t size);
// What a JPEG entry with tables of no known quality is written at.
inline constexpr int kDefaultJpegQuality = 90;

}  // namespace kestrel
