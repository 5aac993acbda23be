// Reading helpers shared by the two mesh decoders (internal to the mesh library).
//
// Counts are int32 in the file; a negative one, or a list that would pass the end of the data, is
// a MeshFormatError whose text is the reason the decoder reports. Sizes are compared in 64-bit
// arithmetic and lists are checked against what remains before anything is reserved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "archive/byte_reader.h"
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

// Reads the object headers with their vertices and strip indices, the polygons and the face
// normals that the counts and offsets already in `cube` describe. With `zeroNaNZ` a vertex Z that
// is NaN becomes +0.0 (the 4.10 layout's rule).
void ReadCubeTables(MeshReader& reader, int32_t cubeOffset, TMTS_Cube& cube, bool zeroNaNZ);

// Reads a char[32] name field.
std::string ReadName(ByteReader& in);
// Reads four float32: red, green, blue, alpha.
TMTS_Color ReadColor(ByteReader& in);

}  // namespace kestrel::mesh_detail
