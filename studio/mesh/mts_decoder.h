// Decoding ".MTS" meshes of both layouts from untrusted bytes.
//
// The decoders check every count, record, list and table against the buffer before reading it or
// reserving memory for it; a mesh that breaks this is refused with a message, never read past its
// end. They do not check the relations between the tables (a polygon's object number, its corner
// indices, one object header per material object): consumers must stay inside the decoded lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "studio/mesh/mts_types.h"

namespace kestrel {

// Where the mesh code sends what the studio shows in an error box and a console prints.
using MeshReport = std::function<void(const std::string& message)>;

inline constexpr char kMts410Magic[] = "CUBE_MTS_4.10";  // followed by three zero bytes
inline constexpr char kMts410ErrorPrefix[] = "MTS 4.10 decoder error : ";

// True when the first 16 bytes are "CUBE_MTS_4.10" and three zero bytes; shorter data is false.
bool IsMTS410(const uint8_t* data, size_t size);

// Decodes the 4.10 layout into `out` (reset first). Data without the magic: false, nothing
// reported. A structural error: "MTS 4.10 decoder error : " and the reason reported, false.
// After false the content of `out` is unspecified.
bool DecodeMTS410(const uint8_t* data, size_t size, TMTS410& out, const MeshReport& report);

// Decodes the older layout into `out` (reset first). A structural error: the bare reason
// reported, false.
bool DecodeMTS(const uint8_t* data, size_t size, TMTS& out, const MeshReport& report);

// Reads the whole file and decodes it with DecodeMTS410. A file that cannot be read is reported
// (the file error and the path) and gives false; so does one that is not in the 4.10 layout,
// silently.
bool LoadMTS410File(const std::string& path, TMTS410& out, const MeshReport& report);

}  // namespace kestrel
