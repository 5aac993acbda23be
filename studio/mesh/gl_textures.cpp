#include "studio/mesh/gl_textures.h"

#include <algorithm>
#include <cctype>
#include <exception>

#include "archive/byte_reader.h"
#include "archive/file_io.h"

namespace kestrel {
namespace {

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

bool ReadAll(const std::string& path, std::vector<uint8_t>& bytes) {
  try {
    bytes = ReadWholeFile(path);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// Whether the colour table of a bitmap of at most 8 bits per pixel lies inside the file, so that a
// file cut short there is told apart from one cut short in its pixels. Older headers than the
// 40-byte one are left to the decoder.
bool BmpPaletteComplete(const std::vector<uint8_t>& b) {
  ByteReader r(b);
  r.Seek(14);
  const uint64_t headerSize = r.U32();
  r.Seek(28);
  const uint16_t bits = r.U16();
  r.Seek(46);
  const uint64_t used = r.U32();
  if (headerSize < 40 || bits == 0 || bits > 8) return true;
  const uint64_t full = uint64_t{1} << bits;
  const uint64_t entries = used != 0 && used < full ? used : full;
  return 14 + headerSize + 4 * entries <= b.size();
}

// The decoded picture, or nothing when the decoder refuses the bytes.
bool Decode(RgbaImage (*decoder)(const uint8_t*, size_t), const std::vector<uint8_t>& bytes, RgbaImage& image) {
  try {
    image = decoder(bytes.data(), bytes.size());
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

constexpr size_t kBmpHeadersSize = 14 + 40;
constexpr size_t kTgaHeaderSize = 18;

}  // namespace

std::vector<uint8_t> TexturePixels(const RgbaImage& image, TexturePixelFormat format) {
  const size_t channels = format == TexturePixelFormat::RGBA ? 4 : 3;
  const size_t width = image.Width;
  std::vector<uint8_t> pixels;
  pixels.reserve(width * image.Height * channels);
  for (size_t row = image.Height; row-- > 0;) {
    const uint8_t* source = image.Pixels.data() + row * width * 4;
    for (size_t x = 0; x < width; ++x, source += 4) pixels.insert(pixels.end(), source, source + channels);
  }
  return pixels;
}

uint32_t GLTextures::Upload(const RgbaImage& image, TexturePixelFormat format) {
  return uploader_.UploadTexture(static_cast<uint16_t>(image.Width), static_cast<uint16_t>(image.Height), format,
                                 TexturePixels(image, format));
}

void GLTextures::LoadTextureFile(const std::string& path, uint32_t& textureName) {
  if (path.size() < 4) return;
  std::string ending = path.substr(path.size() - 4);
  std::transform(ending.begin(), ending.end(), ending.begin(), [](unsigned char c) { return std::toupper(c); });
  if (ending == ".BMP")
    LoadBmpTextureFile(path, textureName);
  else if (ending == ".JPG")
    LoadJpgTextureFile(path, textureName);
  else if (ending == ".TGA")
    LoadTgaTextureFile(path, textureName);
}

bool GLTextures::LoadBmpTextureFile(const std::string& path, uint32_t& textureName) {
  std::vector<uint8_t> bytes;
  if (!ReadAll(path, bytes)) {
    Say(kBmpUnitCaption, "Error opening " + path);
    return false;
  }
  if (bytes.size() >= kBmpHeadersSize && !BmpPaletteComplete(bytes)) {
    Say(kBmpUnitCaption, "Error reading palette");
    return false;
  }
  RgbaImage image;
  if (!Decode(DecodeBmp, bytes, image)) {
    Say(kBmpUnitCaption, "Error reading bitmap data");
    return false;
  }
  textureName = Upload(image, TexturePixelFormat::RGB);
  return true;
}

bool GLTextures::LoadJpgTextureFile(const std::string& path, uint32_t& textureName) {
  std::vector<uint8_t> bytes;
  RgbaImage image;
  if (!ReadAll(path, bytes) || !Decode(DecodeJpeg, bytes, image)) {
    Say(kBmpUnitCaption, "Couldn't load JPG - " + Quoted(path));
    return false;
  }
  textureName = Upload(image, TexturePixelFormat::RGBA);
  return true;
}

bool GLTextures::LoadTgaTextureFile(const std::string& path, uint32_t& textureName) {
  if (!FileExists(path)) {
    Say(kTgaTextureCaption, "File not found  - " + path);
    return false;
  }
  const std::string unreadable = "Couldn't read file " + Quoted(path) + ".";
  std::vector<uint8_t> bytes;
  if (!ReadAll(path, bytes) || bytes.size() < kTgaHeaderSize) {
    Say(kTgaFileErrorCaption, unreadable);
    return false;
  }
  const uint8_t colourMapType = bytes[1];
  const uint8_t imageType = bytes[2];
  const uint8_t bits = bytes[16];
  const std::string refused = "Couldn't load " + Quoted(path) + ".";
  if (imageType != 2 && imageType != 10) {
    Say(kTgaFileErrorCaption, refused + " Only 24 and 32bit TGA supported.");
    return false;
  }
  if (colourMapType != 0) {
    Say(kTgaFileErrorCaption, refused + " Colormapped TGA files not supported.");
    return false;
  }
  if (bits != 24 && bits != 32) {
    Say(kTgaFileErrorCaption, refused + " Only 24 and 32 bit TGA files supported.");
    return false;
  }
  RgbaImage image;
  if (!Decode(DecodeTarga, bytes, image)) {
    Say(kTgaFileErrorCaption, unreadable);
    return false;
  }
  textureName = Upload(image, bits == 24 ? TexturePixelFormat::RGB : TexturePixelFormat::RGBA);
  return true;
}

}  // namespace kestrel
