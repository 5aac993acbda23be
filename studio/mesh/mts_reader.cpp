#include "studio/mesh/mts_reader.h"

#include <climits>
#include <cmath>

namespace kestrel::mesh_detail {
namespace {

// Object headers may share their vertex and strip lists (offsets may overlap), so a small file
// could otherwise describe gigabytes of lists. Real meshes decode to about their own size; this
// allows generous sharing and refuses the rest.
constexpr uint64_t kSharedListFactor = 32;
constexpr uint64_t kSharedListAllowance = 16u << 20;

std::string Str(int64_t v) { return std::to_string(v); }

TMTS_Vertex ReadVertex(ByteReader& in) {
  TMTS_Vertex v;
  v.X = in.F32();
  v.Y = in.F32();
  v.Z = in.F32();
  v.NX = in.F32();
  v.NY = in.F32();
  v.NZ = in.F32();
  v.C = in.I32();
  v.U1 = in.I32();
  v.U = in.F32();
  v.V = in.F32();
  v.U20 = in.I32();
  v.U21 = in.I32();
  return v;
}

TMTS_Polygon ReadPolygon(ByteReader& in) {
  TMTS_Polygon p;
  p.V0 = in.U16();
  p.V1 = in.U16();
  p.V2 = in.U16();
  p.Unk1 = in.U16();
  p.M = in.I32();
  p.FN = in.I32();
  p.One = in.F32();
  for (int32_t& u : p.Unks) u = in.I32();
  return p;
}

// Positions and reserves a table of `count` records; nothing to do for an empty one, wherever
// its offset points.
bool StartTable(MeshReader& reader, int32_t cubeOffset, int32_t offset, int32_t count, size_t recordSize,
                const std::string& what) {
  if (count < 0) throw MeshFormatError("the number of " + what + " is negative (" + Str(count) + ")");
  if (count == 0) return false;
  reader.SeekTable(cubeOffset, offset, what);
  reader.RequireRecords(count, recordSize, what);
  return true;
}

}  // namespace

int32_t MeshReader::Count(const std::string& what) {
  RequireBytes(4, "the number of " + what);
  const int32_t n = in_.I32();
  if (n < 0) throw MeshFormatError("the number of " + what + " is negative (" + Str(n) + ")");
  return n;
}

void MeshReader::RequireRecords(int64_t count, size_t recordSize, const std::string& what) {
  if (count < 0 || !in_.CanReadRecords(static_cast<uint64_t>(count), recordSize))
    throw MeshFormatError(what + " (" + Str(count) + " x " + Str(static_cast<int64_t>(recordSize)) +
                          " bytes at " + Str(static_cast<int64_t>(in_.Position())) +
                          ") run past the end of the data (" + Str(static_cast<int64_t>(in_.Size())) +
                          " bytes)");
}

void MeshReader::RequireBytes(size_t bytes, const std::string& what) {
  if (!in_.CanRead(bytes))
    throw MeshFormatError(what + " (" + Str(static_cast<int64_t>(bytes)) + " bytes at " +
                          Str(static_cast<int64_t>(in_.Position())) + ") runs past the end of the data (" +
                          Str(static_cast<int64_t>(in_.Size())) + " bytes)");
}

void MeshReader::SeekTable(int32_t cubeOffset, int32_t offset, const std::string& what) {
  const int64_t position = static_cast<int64_t>(cubeOffset) + offset;
  if (position < 0 || static_cast<uint64_t>(position) > in_.Size())
    throw MeshFormatError("the offset of the " + what + " (" + Str(offset) + ") points outside the data");
  in_.Seek(static_cast<size_t>(position));
}

bool RunDecoder(const uint8_t* data, size_t size, const std::string& errorPrefix, const MeshReport& report,
                const std::function<void(MeshReader&)>& decode) {
  if (size > static_cast<size_t>(INT32_MAX)) {
    if (report) report(errorPrefix + "the mesh is larger than 2 GiB");
    return false;
  }
  try {
    MeshReader reader(data, size);
    decode(reader);
    return true;
  } catch (const MeshFormatError& e) {
    if (report) report(errorPrefix + e.what());
  } catch (const TruncatedDataError& e) {
    if (report) report(errorPrefix + e.what());
  }
  return false;
}

void ReadCubeFields(const uint8_t* header, size_t size, size_t worldPosAt, size_t tablesAt, TMTS_Cube& cube) {
  ByteReader in(header, size);
  in.Seek(worldPosAt);
  for (float& w : cube.WorldPos) w = in.F32();
  in.Seek(tablesAt);
  cube.NumObjectHeaders = in.I32();
  cube.ObjectHeadersOffset = in.I32();
  cube.NumPolygons = in.I32();
  cube.PolygonsOffset = in.I32();
  cube.NumFaceNormals = in.I32();
  cube.FaceNormalsOffset = in.I32();
}

std::string ReadName(ByteReader& in) { return in.FixedString(kMtsNameSize); }

TMTS_Color ReadColor(ByteReader& in) {
  TMTS_Color c;
  c.R = in.F32();
  c.G = in.F32();
  c.B = in.F32();
  c.A = in.F32();
  return c;
}

void ReadCubeTables(MeshReader& reader, int32_t cubeOffset, TMTS_Cube& cube, bool zeroNaNZ) {
  ByteReader& in = reader.In();
  const uint64_t listBudget = kSharedListAllowance + kSharedListFactor * reader.Size();
  uint64_t listBytes = 0;

  if (StartTable(reader, cubeOffset, cube.ObjectHeadersOffset, cube.NumObjectHeaders, kMtsObjectHeaderSize,
                 "object headers")) {
    cube.ObjectHeaders.resize(static_cast<size_t>(cube.NumObjectHeaders));
    for (TMTS_ObjectHeader& h : cube.ObjectHeaders) {
      h.nFlags = in.I32();
      h.UnkA = in.I32();
      h.NumVertices = in.I32();
      h.VerticesOffset = in.I32();
      h.NumStripIndices = in.I32();
      h.TristripOffset = in.I32();
      h.Unk4sOffset = in.I32();
      for (int32_t& u : h.lUnks1) u = in.I32();
    }
  }

  for (size_t i = 0; i < cube.ObjectHeaders.size(); ++i) {
    TMTS_ObjectHeader& h = cube.ObjectHeaders[i];
    const std::string object = " of object " + std::to_string(i);
    if (StartTable(reader, cubeOffset, h.VerticesOffset, h.NumVertices, kMtsVertexSize, "vertices" + object)) {
      listBytes += static_cast<uint64_t>(h.NumVertices) * kMtsVertexSize;
      if (listBytes > listBudget)
        throw MeshFormatError("the vertex and strip lists of the objects overlap too often to be decoded");
      h.Vertices.resize(static_cast<size_t>(h.NumVertices));
      for (TMTS_Vertex& v : h.Vertices) {
        v = ReadVertex(in);
        if (zeroNaNZ && std::isnan(v.Z)) v.Z = 0.0f;
      }
    }
    if (StartTable(reader, cubeOffset, h.TristripOffset, h.NumStripIndices, 2, "strip indices" + object)) {
      listBytes += static_cast<uint64_t>(h.NumStripIndices) * 2;
      if (listBytes > listBudget)
        throw MeshFormatError("the vertex and strip lists of the objects overlap too often to be decoded");
      h.StripIndices.resize(static_cast<size_t>(h.NumStripIndices));
      for (uint16_t& s : h.StripIndices) s = in.U16();
    }
  }

  if (StartTable(reader, cubeOffset, cube.PolygonsOffset, cube.NumPolygons, kMtsPolygonSize, "polygons")) {
    cube.Polygons.resize(static_cast<size_t>(cube.NumPolygons));
    for (TMTS_Polygon& p : cube.Polygons) p = ReadPolygon(in);
  }

  if (StartTable(reader, cubeOffset, cube.FaceNormalsOffset, cube.NumFaceNormals, kMtsFaceNormalSize,
                 "face normals")) {
    cube.FaceNormals.resize(static_cast<size_t>(cube.NumFaceNormals));
    for (TMTS_FaceNormal& n : cube.FaceNormals) {
      n.X = in.F32();
      n.Y = in.F32();
      n.Z = in.F32();
      n.W = in.F32();
    }
  }
}

}  // namespace kestrel::mesh_detail
