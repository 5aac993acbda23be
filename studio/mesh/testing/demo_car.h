// The demo's car: a small textured mesh in the 4.10 layout (body, glasshouse, four wheels) and its
// three textures, all drawn by code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::testing {

struct DemoFile {
  std::string Name;
  std::vector<uint8_t> Bytes;
};

inline constexpr char kDemoCarMeshName[] = "DEMOCAR.MTS";

// The mesh "DEMOCAR.MTS": three materials, one object each, polygons of all three in one table.
std::vector<uint8_t> BuildDemoCarMesh();
// The texture files its materials name, in material order: "DCBODY.BMP", "DCGLASS.TGA", "DCTYRE.BMP".
std::vector<std::string> DemoCarTextureNames();
// The mesh followed by its textures, ready to be written into the demo directory.
std::vector<DemoFile> DemoCarFiles();

}  // namespace kestrel::testing
