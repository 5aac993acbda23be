// The older layout: no magic, variable-length material objects, a 232-byte cube header.
#include <cstdint>

#include "studio/mesh/mts_decoder.h"
#include "studio/mesh/mts_reader.h"

namespace kestrel {
namespace {

using mesh_detail::MeshReader;
using mesh_detail::ReadColor;
using mesh_detail::ReadName;

constexpr size_t kSwitchTextureMinSize = 80;
constexpr size_t kMatObjectMinSize = 144;
constexpr size_t kMatObjectTailSize = 4 + 68 + 8 + 8 + 2 + 2 + 8;
constexpr size_t kCubeWorldPosAt = 160;  // in the cube header
constexpr size_t kCubeTablesAt = 184;

void ReadSwitchTexture(MeshReader& reader, TMTS_SwitchTexture& t, const std::string& what) {
  ByteReader& in = reader.In();
  reader.RequireBytes(32 + 32 + 4, what);
  t.Name = ReadName(in);
  in.Bytes(t.UnkA.data(), t.UnkA.size());
  t.UnkB = in.I32();
  t.NumFrames = reader.Count("frames of " + what);
  reader.RequireRecords(t.NumFrames, 4, "the frames of " + what);
  t.Frames.resize(static_cast<size_t>(t.NumFrames));
  for (int32_t& f : t.Frames) f = in.I32();
  reader.RequireBytes(8, what);
  t.UnkC = in.I32();
  t.UnkD = in.I32();
}

void ReadMatObject(MeshReader& reader, TMTS_MatObject& m, const std::string& what) {
  ByteReader& in = reader.In();
  reader.RequireBytes(kMtsNameSize, what);
  m.Name = ReadName(in);

  m.NumBitmaps = reader.Count("bitmaps of " + what);
  reader.RequireRecords(m.NumBitmaps, kMtsNameSize, "the bitmap names of " + what);
  m.Bitmaps.resize(static_cast<size_t>(m.NumBitmaps));
  for (std::string& name : m.Bitmaps) name = ReadName(in);

  m.NumSwitchTextures = reader.Count("switch textures of " + what);
  reader.RequireRecords(m.NumSwitchTextures, kSwitchTextureMinSize, "the switch textures of " + what);
  m.SwitchTextures.resize(static_cast<size_t>(m.NumSwitchTextures));
  for (size_t i = 0; i < m.SwitchTextures.size(); ++i)
    ReadSwitchTexture(reader, m.SwitchTextures[i], "switch texture " + std::to_string(i) + " of " + what);

  m.NumUnkItems = reader.Count("unknown items of " + what);
  reader.RequireRecords(m.NumUnkItems, 32, "the unknown items of " + what);
  m.UnkItems.resize(static_cast<size_t>(m.NumUnkItems));
  for (TMTS_UnkItem& item : m.UnkItems) in.Bytes(item.data(), item.size());

  reader.RequireBytes(kMatObjectTailSize, what);
  m.UnkA = in.I32();
  m.d3dMat.Diffuse = ReadColor(in);
  m.d3dMat.Ambient = ReadColor(in);
  m.d3dMat.Specular = ReadColor(in);
  m.d3dMat.Emissive = ReadColor(in);
  m.d3dMat.Power = in.F32();
  in.Bytes(m.UnkB.data(), m.UnkB.size());
  in.Bytes(m.UnkC.data(), m.UnkC.size());
  m.UnkD = in.U16();
  m.UnkE = in.U16();
  in.Bytes(m.UnkF.data(), m.UnkF.size());
}

void Decode(MeshReader& reader, TMTS& out) {
  mesh_detail::ReadMatObjects(reader, kMatObjectMinSize, out.NumMatObjects, out.MatObjects, ReadMatObject);
  mesh_detail::ReadCubeHeader(reader, kCubeWorldPosAt, kCubeTablesAt, out.CubeHeader, out.CubeOffset, out.Cube);
  mesh_detail::ReadCubeTables(reader, out.CubeOffset, out.Cube, /*zeroNaNZ=*/false);
}

}  // namespace

bool DecodeMTS(const uint8_t* data, size_t size, TMTS& out, const MeshReport& report) {
  out = TMTS{};
  return mesh_detail::RunDecoder(data, size, "", report, [&out](MeshReader& reader) { Decode(reader, out); });
}

}  // namespace kestrel
