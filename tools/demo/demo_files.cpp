#include "tools/demo/demo_files.h"

#include <cmath>

#include "archive/byte_reader.h"

namespace kestrel::demo {

std::vector<uint8_t> MakeBmp24(int width, int height, uint32_t (*colour)(int x, int y)) {
  const uint32_t rowLength = static_cast<uint32_t>((width * 24 + 31) / 32 * 4);
  const uint32_t pixelBytes = rowLength * static_cast<uint32_t>(height);
  ByteWriter w;
  w.Raw("BM", 2);
  w.U32(14 + 40 + pixelBytes);
  w.U32(0);
  w.U32(14 + 40);
  w.U32(40);
  w.I32(width);
  w.I32(height);  // positive: bottom row first
  w.U16(1);
  w.U16(24);
  w.U32(0);  // no compression
  w.U32(pixelBytes);
  w.I32(2835);  // 72 dpi
  w.I32(2835);
  w.U32(0);
  w.U32(0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t c = colour(x, y);
      w.U8(static_cast<uint8_t>(c));
      w.U8(static_cast<uint8_t>(c >> 8));
      w.U8(static_cast<uint8_t>(c >> 16));
    }
    for (uint32_t pad = static_cast<uint32_t>(width) * 3; pad < rowLength; ++pad) w.U8(0);
  }
  return std::move(w.Bytes());
}

std::vector<uint8_t> MakeTga24(int width, int height, uint32_t (*colour)(int x, int y)) {
  ByteWriter w;
  w.U8(0);  // no image id
  w.U8(0);  // no colour map
  w.U8(2);  // uncompressed true colour
  w.Raw("\0\0\0\0\0", 5);
  w.U16(0);
  w.U16(0);
  w.U16(static_cast<uint16_t>(width));
  w.U16(static_cast<uint16_t>(height));
  w.U8(24);
  w.U8(0);  // bottom-left origin
  for (int y = height - 1; y >= 0; --y)
    for (int x = 0; x < width; ++x) {
      const uint32_t c = colour(x, y);
      w.U8(static_cast<uint8_t>(c));
      w.U8(static_cast<uint8_t>(c >> 8));
      w.U8(static_cast<uint8_t>(c >> 16));
    }
  return std::move(w.Bytes());
}

namespace {

constexpr uint32_t Rgb(int r, int g, int b) {
  return static_cast<uint32_t>((r << 16) | (g << 8) | b);
}

uint32_t Checker(int x, int y) { return ((x / 16 + y / 16) % 2) ? Rgb(230, 30, 30) : Rgb(250, 250, 250); }
uint32_t Sunset(int, int y) { return Rgb(255, 120 + y, 40 + y / 2); }
uint32_t Kerb(int x, int) { return (x / 8) % 2 ? Rgb(200, 0, 0) : Rgb(255, 255, 255); }
uint32_t Grass(int x, int y) { return Rgb(40, 110 + ((x * 7 + y * 13) % 40), 40); }

// An animation-like file: a small header and a few keyframes of floats.
std::vector<uint8_t> MakeAnimation() {
  ByteWriter w;
  w.Raw("DEMOANIM", 8);
  const int frames = 48;
  w.U32(frames);
  for (int f = 0; f < frames; ++f) {
    const float t = static_cast<float>(f) / frames;
    w.F32(t);
    w.F32(std::sin(t * 6.2831853f));
    w.F32(std::cos(t * 6.2831853f));
    w.F32(0.5f * t);
  }
  return std::move(w.Bytes());
}

}  // namespace

std::vector<DemoFile> DemoFiles() {
  return {
      {"CHECKER.BMP", MakeBmp24(128, 128, Checker)},
      {"SUNSET.BMP", MakeBmp24(96, 64, Sunset)},
      {"KERB.TGA", MakeTga24(64, 16, Kerb)},
      {"GRASS.TGA", MakeTga24(64, 64, Grass)},
      {"PITSTOP.ANM", MakeAnimation()},
  };
}

}  // namespace kestrel::demo
