#include "studio/mesh/testing/demo_car.h"

#include <algorithm>
#include <cmath>

#include "studio/mesh/testing/image_files.h"
#include "studio/mesh/testing/mts_builder.h"

namespace kestrel::testing {
namespace {

struct V3 {
  double x, y, z;
};
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V3 Unit(V3 a) {
  const double n = std::sqrt(Dot(a, a));
  return n > 0 ? a * (1.0 / n) : a;
}

// Collects one object's faces, built in a right-handed frame with counter-clockwise front faces
// and stored as the games store them: Z mirrored (a left-handed frame), so viewers mirror it back.
class CarPart {
 public:
  CarPart(int32_t object, std::vector<TMTS_Polygon>& polygons, std::vector<TMTS_FaceNormal>& normals)
      : object_(object), polygons_(polygons), normals_(normals) {}

  // A flat polygon of 3 to 4 corners (or a convex fan of more), turned to face away from `inside`.
  // A quad takes the texture from its left edge to `uMax`.
  void Face(std::vector<V3> corners, V3 inside, float uMax = 1.0f) {
    V3 n = Unit(Cross(corners[1] - corners[0], corners[2] - corners[0]));
    V3 middle{0, 0, 0};
    for (const V3& c : corners) middle = middle + c * (1.0 / static_cast<double>(corners.size()));
    if (Dot(n, middle - inside) < 0) {
      std::reverse(corners.begin(), corners.end());
      n = n * -1.0;
    }
    const uint16_t first = static_cast<uint16_t>(Object.Vertices.size());
    for (size_t i = 0; i < corners.size(); ++i) {
      // Quads span the texture; fans map their corners around its middle.
      const bool quad = corners.size() == 4;
      const double angle = 2 * M_PI * static_cast<double>(i) / static_cast<double>(corners.size());
      const float u = quad ? (i == 1 || i == 2 ? uMax : 0.0f) : static_cast<float>(0.5 + 0.5 * std::cos(angle));
      const float v = quad ? (i < 2 ? 1.0f : 0.0f) : static_cast<float>(0.5 + 0.5 * std::sin(angle));
      Object.Vertices.push_back(MeshVertex(static_cast<float>(corners[i].x), static_cast<float>(corners[i].y),
                                           static_cast<float>(-corners[i].z), static_cast<float>(n.x),
                                           static_cast<float>(n.y), static_cast<float>(-n.z), u, v));
      Object.StripIndices.push_back(static_cast<uint16_t>(first + i));
    }
    for (size_t i = 1; i + 1 < corners.size(); ++i) {
      TMTS_Polygon p = MeshTriangle(first, static_cast<uint16_t>(first + i), static_cast<uint16_t>(first + i + 1),
                                    object_);
      p.FN = static_cast<int32_t>(normals_.size());
      polygons_.push_back(p);
      normals_.push_back({static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(-n.z),
                          static_cast<float>(-Dot(n, corners[0]))});
    }
  }

  // A convex six-sided solid from its corners: bit 0 of the index is +x, bit 1 top, bit 2 front.
  void Hexahedron(const V3 (&c)[8], bool withBottom) {
    V3 inside{0, 0, 0};
    for (const V3& p : c) inside = inside + p * 0.125;
    Face({c[0], c[2], c[6], c[4]}, inside);  // left
    Face({c[1], c[3], c[7], c[5]}, inside);  // right
    Face({c[2], c[3], c[7], c[6]}, inside);  // top
    Face({c[4], c[5], c[7], c[6]}, inside);  // front
    Face({c[0], c[1], c[3], c[2]}, inside);  // rear
    if (withBottom) Face({c[0], c[1], c[5], c[4]}, inside);
  }

  // A wheel turning about the X axis: a ten-sided tread and two flat sides.
  void Wheel(V3 centre, double radius, double halfWidth) {
    constexpr int kSegments = 10;
    std::vector<V3> left, right;
    for (int i = 0; i < kSegments; ++i) {
      const double a = 2 * M_PI * i / kSegments;
      const V3 rim{0, radius * std::cos(a), radius * std::sin(a)};
      left.push_back(centre + V3{-halfWidth, 0, 0} + rim);
      right.push_back(centre + V3{halfWidth, 0, 0} + rim);
    }
    for (int i = 0; i < kSegments; ++i) {
      const int j = (i + 1) % kSegments;
      Face({left[i], left[j], right[j], right[i]}, centre, 0.25f);  // the grooves, not the hub
    }
    Face(left, centre);
    Face(right, centre);
  }

  MeshObject Object;

 private:
  int32_t object_;
  std::vector<TMTS_Polygon>& polygons_;
  std::vector<TMTS_FaceNormal>& normals_;
};

uint32_t Rgb(int r, int g, int b) { return 0xFF000000u | static_cast<uint32_t>((r << 16) | (g << 8) | b); }

// Red paint with a white stripe along the middle.
uint32_t BodyPaint(int x, int y) {
  if (x >= 26 && x < 38) return Rgb(245, 245, 245);
  return y >= 56 ? Rgb(120, 10, 20) : Rgb(200, 20, 30);
}

// Tinted glass with diagonal reflections.
uint32_t Glass(int x, int y) {
  if ((x + y) % 32 < 4) return Rgb(170, 190, 220);
  return Rgb(30, 40, 60 + y);
}

// Rubber with tread grooves, and a silver hub in the middle for the wheel sides.
uint32_t Tyre(int x, int y) {
  const int dx = x - 32, dy = y - 32;
  if (dx * dx + dy * dy < 14 * 14) return Rgb(175, 175, 185);
  return x % 8 < 2 ? Rgb(90, 90, 90) : Rgb(25, 25, 25);
}

V3 Corner(int i, double rearHalfWidth, double frontHalfWidth, double bottom, double rearTop, double frontTop,
          double rear, double front) {
  const bool right = i & 1, top = i & 2, isFront = i & 4;
  const double w = isFront ? frontHalfWidth : rearHalfWidth;
  return {right ? w : -w, top ? (isFront ? frontTop : rearTop) : bottom, isFront ? front : rear};
}

MeshMaterial Material(const std::string& name, const std::string& texture) {
  MeshMaterial m;
  m.Name = name;
  MeshBitmap bitmap;
  bitmap.Name = texture;
  m.Bitmaps = {bitmap};
  m.Specular = {0.3f, 0.3f, 0.3f, 1};
  m.Unk1 = 1.0f;
  return m;
}

}  // namespace

std::vector<std::string> DemoCarTextureNames() { return {"DCBODY.BMP", "DCGLASS.TGA", "DCTYRE.BMP"}; }

std::vector<uint8_t> BuildDemoCarMesh() {
  const std::vector<std::string> textures = DemoCarTextureNames();
  TestMesh mesh;
  mesh.Materials = {Material("CAR_BODY", textures[0]), Material("CAR_GLASS", textures[1]),
                    Material("CAR_TYRE", textures[2])};
  mesh.TriListState = 0;  // optimized

  CarPart body(0, mesh.Polygons, mesh.FaceNormals);
  V3 hull[8];
  for (int i = 0; i < 8; ++i) hull[i] = Corner(i, 0.5, 0.36, 0.12, 0.42, 0.28, -1.2, 1.25);
  body.Hexahedron(hull, true);

  CarPart glass(1, mesh.Polygons, mesh.FaceNormals);
  V3 cabin[8];
  for (int i = 0; i < 8; ++i) {
    const bool top = i & 2;
    cabin[i] = top ? Corner(i, 0.3, 0.3, 0.36, 0.68, 0.68, -0.6, 0.0)
                   : Corner(i, 0.42, 0.42, 0.36, 0.36, 0.36, -0.75, 0.35);
  }
  glass.Hexahedron(cabin, false);

  CarPart tyres(2, mesh.Polygons, mesh.FaceNormals);
  for (double x : {-0.56, 0.56})
    for (double z : {-0.8, 0.8}) tyres.Wheel({x, 0.2, z}, 0.2, 0.08);

  mesh.Objects = {body.Object, glass.Object, tyres.Object};
  return mesh.Bytes(MeshLayout::MTS410);
}

std::vector<DemoFile> DemoCarFiles() {
  const std::vector<std::string> textures = DemoCarTextureNames();
  return {
      {kDemoCarMeshName, BuildDemoCarMesh()},
      {textures[0], Bmp24Bytes(64, 64, BodyPaint)},
      {textures[1], TgaBytes(64, 64, 24, Glass)},
      {textures[2], Bmp24Bytes(64, 64, Tyre)},
  };
}

}  // namespace kestrel::testing
