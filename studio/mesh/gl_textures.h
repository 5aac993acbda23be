// The mesh preview's texture loaders (`GLTextures`): one image file on disk (".BMP", ".JPG",
// ".TGA") becomes one texture, through the shared image decoders. Each loader reports its own
// failures with the studio's long-standing texts and captions and then leaves the caller's texture
// name as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "studio/image/image_decoder.h"

namespace kestrel {

enum class TexturePixelFormat { RGB, RGBA };

// Makes a texture of tightly packed rows (no padding between them), bottom row of the picture
// first, so that texture coordinate T = 0 is the bottom edge. The OpenGL implementation builds the
// whole mipmap chain; the tests record what they are given.
class TextureUploader {
 public:
  virtual ~TextureUploader() = default;
  virtual uint32_t UploadTexture(uint16_t width, uint16_t height, TexturePixelFormat format,
                                 const std::vector<uint8_t>& pixels) = 0;
};

// A plain message box: caption, then text.
using TextureMessage = std::function<void(const std::string& caption, const std::string& text)>;

inline constexpr char kBmpUnitCaption[] = "BMP Unit";
inline constexpr char kTgaTextureCaption[] = "TGA Texture";
inline constexpr char kTgaFileErrorCaption[] = "TGA File Error";

class GLTextures {
 public:
  GLTextures(TextureUploader& uploader, TextureMessage message)
      : uploader_(uploader), message_(std::move(message)) {}

  // Picks the loader by the last four characters of the path in any letter case (".BMP", ".JPG",
  // ".TGA"); any other path loads nothing. `textureName` changes only when a texture was made.
  void LoadTextureFile(const std::string& path, uint32_t& textureName);

  // Every bitmap depth the decoder reads, uploaded as RGB.
  bool LoadBmpTextureFile(const std::string& path, uint32_t& textureName);
  // Uploaded as RGBA with alpha 255.
  bool LoadJpgTextureFile(const std::string& path, uint32_t& textureName);
  // True-colour Targa files (image type 2 or 10) of 24 bits, uploaded as RGB, or 32 bits, uploaded
  // as RGBA with their stored alpha; others are refused.
  bool LoadTgaTextureFile(const std::string& path, uint32_t& textureName);

 private:
  uint32_t Upload(const RgbaImage& image, TexturePixelFormat format);
  void Say(const char* caption, const std::string& text) const {
    if (message_) message_(caption, text);
  }

  TextureUploader& uploader_;
  TextureMessage message_;
};

// The picture's rows bottom first, 3 or 4 bytes per pixel, without padding.
std::vector<uint8_t> TexturePixels(const RgbaImage& image, TexturePixelFormat format);

}  // namespace kestrel
