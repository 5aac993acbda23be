#include "studio/mesh/testing/mts_builder.h"

#include "archive/byte_reader.h"
#include "studio/mesh/mts_decoder.h"

namespace kestrel::testing {
namespace {

void Color(ByteWriter& w, const TMTS_Color& c) {
  w.F32(c.R);
  w.F32(c.G);
  w.F32(c.B);
  w.F32(c.A);
}

void Material410(ByteWriter& w, const MeshMaterial& m) {
  w.FixedString(m.Name, kMtsNameSize);
  w.I32(m.UnkA);
  Color(w, m.Diffuse);
  Color(w, m.Ambient);
  Color(w, m.Specular);
  Color(w, m.Emissive);
  w.U16(m.SourceBlend);
  w.U16(m.DestBlend);
  w.F32(m.Unk1);
  w.I32(m.NumBitmaps.value_or(static_cast<int32_t>(m.Bitmaps.size())));
  for (const MeshBitmap& b : m.Bitmaps) {
    w.FixedString(b.Name, kMtsNameSize);
    w.I32(b.UnkA);
    w.I32(b.UnkB);
    w.I32(b.SwitchMode);
    if (b.SwitchMode >= 2) {
      w.I32(b.NumFrames.value_or(static_cast<int32_t>(b.Frames.size())));
      for (int32_t f : b.Frames) w.I32(f);
      w.I32(b.FrameUnkA);
      w.I32(b.FrameUnkB);
    }
    for (int32_t u : b.Unks) w.I32(u);
  }
}

void MaterialOld(ByteWriter& w, const MeshMaterial& m) {
  w.FixedString(m.Name, kMtsNameSize);
  w.I32(m.NumBitmaps.value_or(static_cast<int32_t>(m.Bitmaps.size())));
  for (const MeshBitmap& b : m.Bitmaps) w.FixedString(b.Name, kMtsNameSize);
  w.I32(static_cast<int32_t>(m.SwitchTextures.size()));
  for (const MeshSwitchTexture& t : m.SwitchTextures) {
    w.FixedString(t.Name, kMtsNameSize);
    for (int i = 0; i < 32; ++i) w.U8(static_cast<uint8_t>(0xA0 + i));
    w.I32(t.UnkB);
    w.I32(static_cast<int32_t>(t.Frames.size()));
    for (int32_t f : t.Frames) w.I32(f);
    w.I32(t.UnkC);
    w.I32(t.UnkD);
  }
  w.I32(m.UnkItems);
  for (int32_t i = 0; i < m.UnkItems * 32; ++i) w.U8(static_cast<uint8_t>(i));
  w.I32(m.UnkA);
  Color(w, m.Diffuse);
  Color(w, m.Ambient);
  Color(w, m.Specular);
  Color(w, m.Emissive);
  w.F32(m.Power);
  for (int i = 0; i < 8 + 8 + 2 + 2 + 8; ++i) w.U8(0);
}

void Vertex(ByteWriter& w, const TMTS_Vertex& v) {
  w.F32(v.X);
  w.F32(v.Y);
  w.F32(v.Z);
  w.F32(v.NX);
  w.F32(v.NY);
  w.F32(v.NZ);
  w.I32(v.C);
  w.I32(v.U1);
  w.F32(v.U);
  w.F32(v.V);
  w.I32(v.U20);
  w.I32(v.U21);
}

void Polygon(ByteWriter& w, const TMTS_Polygon& p) {
  w.U16(p.V0);
  w.U16(p.V1);
  w.U16(p.V2);
  w.U16(p.Unk1);
  w.I32(p.M);
  w.I32(p.FN);
  w.F32(p.One);
  for (int32_t u : p.Unks) w.I32(u);
}

}  // namespace

BuiltMesh TestMesh::Build(MeshLayout layout) const {
  const bool is410 = layout == MeshLayout::MTS410;
  BuiltMesh built;
  ByteWriter w;
  if (is410) {
    w.Raw(kMts410Magic, 13);
    w.Raw("\0\0\0", 3);
  }
  w.I32(NumMatObjects.value_or(static_cast<int32_t>(Materials.size())));
  for (const MeshMaterial& m : Materials) is410 ? Material410(w, m) : MaterialOld(w, m);
  built.CubeOffset = static_cast<int32_t>(w.Size());
  const size_t cubeSize = is410 ? kMts410CubeHeaderSize : kMtsCubeHeaderSize;

  // Lay the regions out first: the object headers need the vertex and strip offsets.
  int32_t at = static_cast<int32_t>(cubeSize);
  for (MeshTable table : Order) {
    switch (table) {
      case MeshTable::ObjectHeaders:
        built.ObjectHeadersOffset = at;
        at += static_cast<int32_t>(Objects.size() * kMtsObjectHeaderSize);
        break;
      case MeshTable::Vertices:
        for (const MeshObject& o : Objects) {
          built.VerticesOffsets.push_back(at);
          at += static_cast<int32_t>(o.Vertices.size() * kMtsVertexSize);
        }
        break;
      case MeshTable::StripIndices:
        for (const MeshObject& o : Objects) {
          built.StripOffsets.push_back(at);
          at += static_cast<int32_t>(o.StripIndices.size() * 2);
        }
        break;
      case MeshTable::Polygons:
        built.PolygonsOffset = at;
        at += static_cast<int32_t>(Polygons.size() * kMtsPolygonSize);
        break;
      case MeshTable::FaceNormals:
        built.FaceNormalsOffset = at;
        at += static_cast<int32_t>(FaceNormals.size() * kMtsFaceNormalSize);
        break;
    }
  }
  built.VerticesOffsets.resize(Objects.size());
  built.StripOffsets.resize(Objects.size());

  std::vector<uint8_t> cube(cubeSize, 0);
  ByteWriter fields;
  for (float f : WorldPos) fields.F32(f);
  fields.I32(NumObjectHeaders.value_or(static_cast<int32_t>(Objects.size())));
  fields.I32(ObjectHeadersOffset.value_or(built.ObjectHeadersOffset));
  fields.I32(NumPolygons.value_or(static_cast<int32_t>(Polygons.size())));
  fields.I32(PolygonsOffset.value_or(built.PolygonsOffset));
  fields.I32(NumFaceNormals.value_or(static_cast<int32_t>(FaceNormals.size())));
  fields.I32(FaceNormalsOffset.value_or(built.FaceNormalsOffset));
  const std::vector<uint8_t>& f = fields.Bytes();
  const size_t worldPos = is410 ? 256 : 160, counts = is410 ? 280 : 184;
  std::copy(f.begin(), f.begin() + 12, cube.begin() + static_cast<std::ptrdiff_t>(worldPos));
  std::copy(f.begin() + 12, f.end(), cube.begin() + static_cast<std::ptrdiff_t>(counts));
  if (is410)
    for (int i = 0; i < 4; ++i) cube[20 + i] = static_cast<uint8_t>(static_cast<uint32_t>(TriListState) >> (8 * i));
  w.Raw(cube.data(), cube.size());

  for (MeshTable table : Order) {
    switch (table) {
      case MeshTable::ObjectHeaders:
        for (size_t i = 0; i < Objects.size(); ++i) {
          const MeshObject& o = Objects[i];
          w.I32(o.nFlags);
          w.I32(o.UnkA);
          w.I32(o.NumVertices.value_or(static_cast<int32_t>(o.Vertices.size())));
          w.I32(o.VerticesOffset.value_or(built.VerticesOffsets[i]));
          w.I32(static_cast<int32_t>(o.StripIndices.size()));
          w.I32(built.StripOffsets[i]);
          w.I32(o.Unk4sOffset);
          for (int32_t u : o.lUnks1) w.I32(u);
        }
        break;
      case MeshTable::Vertices:
        for (const MeshObject& o : Objects)
          for (const TMTS_Vertex& v : o.Vertices) Vertex(w, v);
        break;
      case MeshTable::StripIndices:
        for (const MeshObject& o : Objects)
          for (uint16_t s : o.StripIndices) w.U16(s);
        break;
      case MeshTable::Polygons:
        for (const TMTS_Polygon& p : Polygons) Polygon(w, p);
        break;
      case MeshTable::FaceNormals:
        for (const TMTS_FaceNormal& n : FaceNormals) {
          w.F32(n.X);
          w.F32(n.Y);
          w.F32(n.Z);
          w.F32(n.W);
        }
        break;
    }
  }
  built.Bytes = std::move(w.Bytes());
  return built;
}

TMTS_Vertex MeshVertex(float x, float y, float z, float nx, float ny, float nz, float u, float v) {
  TMTS_Vertex vertex;
  vertex.X = x;
  vertex.Y = y;
  vertex.Z = z;
  vertex.NX = nx;
  vertex.NY = ny;
  vertex.NZ = nz;
  vertex.U = u;
  vertex.V = v;
  return vertex;
}

TMTS_Polygon MeshTriangle(uint16_t v0, uint16_t v1, uint16_t v2, int32_t m) {
  TMTS_Polygon p;
  p.V0 = v0;
  p.V1 = v1;
  p.V2 = v2;
  p.M = m;
  p.One = 1.0f;
  return p;
}

}  // namespace kestrel::testing
