#include "tools/demo/demo_files.h"

#include <cmath>

#include "archive/byte_reader.h"
#include "studio/mesh/testing/image_files.h"

namespace kestrel::demo {

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
  using testing::Bmp24Bytes;
  using testing::TgaBytes;
  std::vector<DemoFile> files = testing::DemoCarFiles();
  files.push_back({"CHECKER.BMP", Bmp24Bytes(128, 128, Checker)});
  files.push_back({"SUNSET.BMP", Bmp24Bytes(96, 64, Sunset)});
  files.push_back({"KERB.TGA", TgaBytes(64, 16, 24, Kerb)});
  files.push_back({"GRASS.TGA", TgaBytes(64, 64, 24, Grass)});
  files.push_back({"PITSTOP.ANM", MakeAnimation()});
  return files;
}

}  // namespace kestrel::demo
