// Decoders for the pictures the games use (BMP, Targa, JPEG), from bytes held in memory.
//
// Input is untrusted: every size is checked against the bytes that remain, in overflow-safe
// arithmetic, before memory is reserved. Anything the decoder cannot read whole is an
// ImageDecodeError with a short reason; no decoder ever reads past the buffer or ends the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace kestrel {

// The largest width or height accepted; larger pictures are refused as damaged.
inline constexpr uint32_t kMaxImageSide = 16384;

struct RgbaImage {
  uint32_t Width = 0;
  uint32_t Height = 0;
  bool HasAlpha = false;        // whether the file defines alpha; otherwise every alpha is 255
  std::vector<uint8_t> Pixels;  // R, G, B, A per pixel, top row first, Width * Height * 4 bytes
};

class ImageDecodeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class ImageKind { Bmp, Targa, Jpeg };

// By the file name's extension (".BMP", ".TGA", ".JPG", ".JPEG", any letter case).
std::optional<ImageKind> ImageKindOfName(std::string_view fileName);
// By an archive entry's type: 18 bitmap, 20 Targa, 22 JPEG; nothing for the other types.
std::optional<ImageKind> ImageKindOfEntryType(int32_t fileType);

RgbaImage DecodeBmp(const uint8_t* data, size_t size);
RgbaImage DecodeTarga(const uint8_t* data, size_t size);
RgbaImage DecodeJpeg(const uint8_t* data, size_t size);
RgbaImage DecodeImage(ImageKind kind, const uint8_t* data, size_t size);

}  // namespace kestrel
