// The 4.10 layout: magic, material objects with their bitmaps, a 328-byte cube header.
#include <cstring>

#include "archive/file_error.h"
#include "archive/file_io.h"
#include "studio/mesh/mts_decoder.h"
#include "studio/mesh/mts_reader.h"

namespace kestrel {
namespace {

using mesh_detail::MeshReader;
using mesh_detail::ReadColor;
using mesh_detail::ReadName;

constexpr size_t kMatObjectSize = 112;
constexpr size_t kBitmapMinSize = 80;
constexpr size_t kBitmapHeadSize = 44;
constexpr size_t kBitmapUnksSize = 36;
constexpr size_t kCubeWorldPosAt = 256;  // in the cube header
constexpr size_t kCubeTablesAt = 280;

int32_t CubeInt(const std::array<uint8_t, kMts410CubeHeaderSize>& header, size_t offset) {
  ByteReader in(header.data(), header.size());
  in.Seek(offset);
  return in.I32();
}

void ReadBitmap(MeshReader& reader, TMTS410_Bitmap& b, const std::string& what) {
  ByteReader& in = reader.In();
  reader.RequireBytes(kBitmapHeadSize, what);
  b.Name = ReadName(in);
  b.UnkA = in.I32();
  b.UnkB = in.I32();
  b.SwitchMode = in.I32();
  if (b.SwitchMode >= 2) {
    b.NumFrames = reader.Count("frames of " + what);
    reader.RequireRecords(b.NumFrames, 4, "the frames of " + what);
    b.Frames.resize(static_cast<size_t>(b.NumFrames));
    for (int32_t& f : b.Frames) f = in.I32();
    reader.RequireBytes(8, what);
    b.FrameUnkA = in.I32();
    b.FrameUnkB = in.I32();
  }
  reader.RequireBytes(kBitmapUnksSize, what);
  for (int32_t& u : b.Unks) u = in.I32();
}

void ReadMatObject(MeshReader& reader, TMTS410_MatObject& m, const std::string& what) {
  ByteReader& in = reader.In();
  reader.RequireBytes(kMatObjectSize, what);
  m.Name = ReadName(in);
  m.UnkA = in.I32();
  m.d3dMat.Diffuse = ReadColor(in);
  m.d3dMat.Ambient = ReadColor(in);
  m.d3dMat.Specular = ReadColor(in);
  m.d3dMat.Emissive = ReadColor(in);
  m.SourceBlend = in.U16();
  m.DestBlend = in.U16();
  m.Unk1 = in.F32();
  m.NumBitmaps = reader.Count("bitmaps of " + what);
  reader.RequireRecords(m.NumBitmaps, kBitmapMinSize, "the bitmaps of " + what);
  m.Bitmaps.resize(static_cast<size_t>(m.NumBitmaps));
  for (size_t i = 0; i < m.Bitmaps.size(); ++i)
    ReadBitmap(reader, m.Bitmaps[i], "bitmap " + std::to_string(i) + " of " + what);
}

void Decode(MeshReader& reader, TMTS410& out) {
  reader.In().Bytes(out.Magic.data(), out.Magic.size());
  mesh_detail::ReadMatObjects(reader, kMatObjectSize, out.NumMatObjects, out.MatObjects, ReadMatObject);
  mesh_detail::ReadCubeHeader(reader, kCubeWorldPosAt, kCubeTablesAt, out.CubeHeader, out.CubeOffset, out.Cube);
  mesh_detail::ReadCubeTables(reader, out.CubeOffset, out.Cube, /*zeroNaNZ=*/true);
}

}  // namespace

int32_t TMTS410::TriListState() const { return CubeInt(CubeHeader, 20); }

bool IsMTS410(const uint8_t* data, size_t size) {
  // All 16 bytes count: the text and its three zero bytes.
  static constexpr char kMagic[kMts410MagicSize] = {'C', 'U', 'B', 'E', '_', 'M', 'T', 'S', '_', '4', '.', '1', '0'};
  return size >= kMts410MagicSize && std::memcmp(data, kMagic, kMts410MagicSize) == 0;
}

bool DecodeMTS410(const uint8_t* data, size_t size, TMTS410& out, const MeshReport& report) {
  out = TMTS410{};
  if (!IsMTS410(data, size)) return false;
  return mesh_detail::RunDecoder(data, size, kMts410ErrorPrefix, report,
                                 [&out](MeshReader& reader) { Decode(reader, out); });
}

bool LoadMTS410File(const std::string& path, TMTS410& out, const MeshReport& report) {
  std::vector<uint8_t> bytes;
  try {
    bytes = ReadWholeFile(path);
  } catch (const EInOutError& e) {
    if (report) report(FileErrorReport(e));
    return false;
  }
  return DecodeMTS410(bytes.data(), bytes.size(), out, report);
}

}  // namespace kestrel
