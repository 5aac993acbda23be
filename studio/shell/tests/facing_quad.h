// A square mesh that faces the eye squarely at the preview's initial camera, with the texture
// picture's top row at its top, and where its points land in a frame.
#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <cmath>
#include <string>
#include <vector>

#include "studio/mesh/testing/mts_builder.h"

namespace kestrel::studio::testing {

using kestrel::testing::MeshLayout;

// The model-space point that the initial camera (RotX 20, then RotY -45) turns into eye-space
// (x, y, z) about the model's origin, stored with Z mirrored as the meshes store it.
inline TMTS_Vertex FacingVertex(double x, double y, float u, float v) {
  const double pi = std::acos(-1.0);
  // Undo RotX (20 degrees) first, then RotY (-45 degrees).
  const double ax = -20 * pi / 180, ay = 45 * pi / 180;
  auto undo = [&](double px, double py, double pz, double out[3]) {
    const double y1 = py * std::cos(ax) - pz * std::sin(ax), z1 = py * std::sin(ax) + pz * std::cos(ax);
    out[0] = px * std::cos(ay) + z1 * std::sin(ay);
    out[1] = y1;
    out[2] = -px * std::sin(ay) + z1 * std::cos(ay);
  };
  double p[3], n[3];
  undo(x, y, 0, p);
  undo(0, 0, 1, n);
  return kestrel::testing::MeshVertex(static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(-p[2]),
                                      static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(-n[2]),
                                      u, v);
}

// A 2 x 2 square at the model's origin, one material naming `texture` ("" for none).
inline std::vector<uint8_t> FacingQuad(const std::string& texture, MeshLayout layout = MeshLayout::MTS410) {
  kestrel::testing::TestMesh mesh;
  kestrel::testing::MeshMaterial material;
  material.Name = "QUAD";
  if (!texture.empty()) {
    material.Bitmaps.emplace_back();
    material.Bitmaps.back().Name = texture;
  }
  mesh.Materials = {material};
  kestrel::testing::MeshObject object;
  object.Vertices = {FacingVertex(-1, 1, 0, 0), FacingVertex(1, 1, 1, 0), FacingVertex(1, -1, 1, 1),
                     FacingVertex(-1, -1, 0, 1)};
  mesh.Objects = {object};
  // Both triangles counter-clockwise seen from the eye; the older layout reverses the second.
  mesh.Polygons = {kestrel::testing::MeshTriangle(0, 3, 2, 0),
                   layout == MeshLayout::Old ? kestrel::testing::MeshTriangle(1, 0, 2, 0)
                                             : kestrel::testing::MeshTriangle(2, 1, 0, 0)};
  return mesh.Bytes(layout);
}

// The frame pixel at (fx, fy) of the square, each from -1 (left, bottom) to 1 (right, top), for a
// frame `width` x `height` drawn with the 45-degree perspective at distance 4.
inline QColor QuadPixel(const QImage& frame, double fx, double fy) {
  const double tanHalf = std::tan(22.5 * std::acos(-1.0) / 180);
  const double aspect = static_cast<double>(frame.width()) / frame.height();
  const double px = (1 + fx / (4 * tanHalf * aspect)) * frame.width() / 2;
  const double py = (1 - fy / (4 * tanHalf)) * frame.height() / 2;
  return frame.pixelColor(static_cast<int>(px), static_cast<int>(py));
}

// A drawn colour, allowing for the rounding of the driver's blending and filtering.
inline void ExpectColour(const QColor& actual, int r, int g, int b, int tolerance = 3) {
  EXPECT_NEAR(actual.red(), r, tolerance);
  EXPECT_NEAR(actual.green(), g, tolerance);
  EXPECT_NEAR(actual.blue(), b, tolerance);
}

}  // namespace kestrel::studio::testing
