// Reading helpers shared by the two mesh decoders (internal to the mesh library).
//
// Counts are int32 in the file; a negative one, or a list that would pass the end of the data, is
// a MeshFormatError whose text is the reason the decoder reports. Sizes are compared in 64-bit
// arithmetic and lists are checked against what remains before anything is reserved.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/byte_reader.h"
#include "studio/mesh/mts_decoder.h"
#include "studio/mesh/mts_types.h"

namespace kestrel::mesh_detail {

class MeshFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class MeshReader {
 public:
  MeshReader(const uint8_t* data, size_t size) : in_(data, size) {}

  ByteReader& In() { return in_; }
  size_t Size() const { return in_.Size(); }
  size_t Position() const { return in_.Position(); }

  // An int32 count; negative is an error naming `what` ("material objects", "vertices of object 2").
  int32_t Count(const std::string& what);
  // Fails unless `count` records of `recordSize` bytes fit between here and the end of the data.
  void RequireRecords(int64_t count, size_t recordSize, const std::string& what);
  // Fails unless `bytes` bytes remain.
  void RequireBytes(size_t bytes, const std::string& what);
  // Moves to cubeOffset + offset, which must lie inside the data.
  void SeekTable(int32_t cubeOffset, int32_t offset, const std::string& what);

 private:
  ByteReader in_;
};

// Runs `decode` over the data; a structural error is reported as `errorPrefix` and the reason and
// gives false. Data of 2 GiB or more is refused first: its positions would not fit the int32
// offsets.
bool RunDecoder(const uint8_t* data, size_t size, const std::string& errorPrefix, const MeshReport& report,
                const std::function<void(MeshReader&)>& decode);

// Reads the count of material objects and then each one with `readOne`. Every object takes at least
// `minSize` bytes, so a count that could not fit is refused before anything is reserved.
template <typename MatObject, typename ReadOne>
void ReadMatObjects(MeshReader& reader, size_t minSize, int32_t& count, std::vector<MatObject>& objects,
                    ReadOne readOne) {
  count = reader.Count("material objects");
  reader.RequireRecords(count, minSize, "material objects");
  objects.resize(static_cast<size_t>(count));
  for (size_t i = 0; i < objects.size(); ++i) readOne(reader, objects[i], "material object " + std::to_string(i));
}

// The world position and the six table counts and offsets inside a cube header.
void ReadCubeFields(const uint8_t* header, size_t size, size_t worldPosAt, size_t tablesAt, TMTS_Cube& cube);

// Reads the cube header that follows the material objects, records where it starts (the table
// offsets count from there), and takes the world position and the table counts and offsets from
// their places in it. The two layouts differ only in the header's size and those places.
template <size_t HeaderSize>
void ReadCubeHeader(MeshReader& reader, size_t worldPosAt, size_t tablesAt, std::array<uint8_t, HeaderSize>& header,
                    int32_t& cubeOffset, TMTS_Cube& cube) {
  ByteReader& in = reader.In();
  cubeOffset = static_cast<int32_t>(in.Position());
  reader.RequireBytes(HeaderSize, "the cube header");
  in.Bytes(header.data(), header.size());
  ReadCubeFields(header.data(), header.size(), worldPosAt, tablesAt, cube);
}

// Reads the object headers with their vertices and strip indices, the polygons and the face
// normals that the counts and offsets already in `cube` describe. With `zeroNaNZ` a vertex Z that
// is NaN becomes +0.0 (the 4.10 layout's rule).
void ReadCubeTables(MeshReader& reader, int32_t cubeOffset, TMTS_Cube& cube, bool zeroNaNZ);

// Reads a char[32] name field.
std::string ReadName(ByteReader& in);
// Reads four float32: red, green, blue, alpha.
TMTS_Color ReadColor(ByteReader& in);

}  // namespace kestrel::mesh_detail
