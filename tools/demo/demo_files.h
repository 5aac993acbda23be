// The demo's files: a few textures, an animation-like track and (later) a car mesh, all drawn by code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::demo {

struct DemoFile {
  std::string Name;
  std::vector<uint8_t> Bytes;
};

// An uncompressed 24-bit Windows bitmap of width x height from a colour function (r, g, b).
std::vector<uint8_t> MakeBmp24(int width, int height, uint32_t (*colour)(int x, int y));
// An uncompressed 24-bit Targa image, bottom row first as Targa files usually are.
std::vector<uint8_t> MakeTga24(int width, int height, uint32_t (*colour)(int x, int y));

std::vector<DemoFile> DemoFiles();

}  // namespace kestrel::demo
