#include "studio/mesh/testing/demo_car.h"

#include <gtest/gtest.h>

#include "archive/byte_reader.h"
#include "studio/mesh/mts_decoder.h"

namespace kestrel {
namespace {

TEST(DemoCar, ATexturedMeshWhoseTexturesComeAlong) {
  const std::vector<testing::DemoFile> files = testing::DemoCarFiles();
  const std::vector<std::string> textures = testing::DemoCarTextureNames();
  ASSERT_EQ(files.size(), 1 + textures.size());
  EXPECT_EQ(files[0].Name, "DEMOCAR.MTS");

  TMTS410 mesh;
  ASSERT_TRUE(DecodeMTS410(files[0].Bytes.data(), files[0].Bytes.size(), mesh, {}));
  ASSERT_EQ(mesh.MatObjects.size(), textures.size());
  ASSERT_EQ(mesh.Cube.ObjectHeaders.size(), textures.size());
  std::vector<int> trianglesPerObject(textures.size());
  for (const TMTS_Polygon& p : mesh.Cube.Polygons) {
    ASSERT_GE(p.M, 0);
    ASSERT_LT(static_cast<size_t>(p.M), textures.size());
    const size_t count = mesh.Cube.ObjectHeaders[static_cast<size_t>(p.M)].Vertices.size();
    EXPECT_LT(p.V0, count);
    EXPECT_LT(p.V1, count);
    EXPECT_LT(p.V2, count);
    ++trianglesPerObject[static_cast<size_t>(p.M)];
  }
  for (size_t i = 0; i < textures.size(); ++i) {
    EXPECT_GT(trianglesPerObject[i], 0) << i;
    ASSERT_EQ(mesh.MatObjects[i].Bitmaps.size(), 1u);
    EXPECT_EQ(mesh.MatObjects[i].Bitmaps[0].Name, textures[i]);
    EXPECT_EQ(files[i + 1].Name, textures[i]);
  }

  // The texture files are what the studio's loaders take: 24-bit bitmaps, 24/32-bit Targa files.
  for (size_t i = 1; i < files.size(); ++i) {
    const std::vector<uint8_t>& b = files[i].Bytes;
    ByteReader in(b);
    if (files[i].Name.ends_with(".BMP")) {
      ASSERT_GE(b.size(), 54u);
      EXPECT_EQ(b[0], 'B');
      in.Seek(18);
      const int32_t width = in.I32(), height = in.I32();
      in.Seek(28);
      EXPECT_EQ(in.U16(), 24);
      in.Seek(34);
      const uint32_t pixelBytes = static_cast<uint32_t>((width * 3 + 3) / 4 * 4 * height);
      EXPECT_EQ(in.U32(), pixelBytes);  // biSizeImage, which the loader reads
      EXPECT_EQ(b.size(), 54u + pixelBytes);
    } else {
      ASSERT_GE(b.size(), 18u);
      EXPECT_EQ(b[1], 0);  // no colour map
      EXPECT_EQ(b[2], 2);  // uncompressed true colour
      in.Seek(12);
      const uint16_t width = in.U16(), height = in.U16();
      const uint8_t bits = in.U8();
      EXPECT_TRUE(bits == 24 || bits == 32);
      EXPECT_EQ(b.size(), 18u + size_t{width} * height * (bits / 8));
    }
  }
}

}  // namespace
}  // namespace kestrel
