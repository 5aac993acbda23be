// The two VRML exports over an archive's table: one mesh entry into a file of its own, and every
// mesh entry into one combined file. The entries are read through a function of the caller's, so
// the console front end and the studio share this code with their own entry readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "archive/mas_format.h"
#include "studio/mesh/mts_decoder.h"
#include "studio/mesh/mts_types.h"

namespace kestrel {

inline constexpr char kNoMeshEntriesMessage[] = "This MAS file does not contain any MTS objects";
inline constexpr char kVRMLExportErrorMessage[] = "VRML Export error";

// A mesh decoded with whichever decoder its first bytes select.
using AnyMesh = std::variant<TMTS410, TMTS>;

// IsMTS410 picks DecodeMTS410, anything else goes to DecodeMTS. The decoder reports its failures.
bool DecodeAnyMesh(const uint8_t* data, size_t size, AnyMesh& out, const MeshReport& report);

bool WriteMeshVRML(const std::string& path, const std::string& objectName, const AnyMesh& mesh, bool append,
                   const std::string& date, const MeshReport& report);

// A file or entry name without its extension (from the last "."); a name without "." stays whole.
std::string VRMLObjectName(const std::string& fileName);

// Returns the decoded bytes of table entry `index`; throws (std::exception) when it cannot.
using MeshEntryReader = std::function<std::vector<uint8_t>(size_t index)>;

// Called with the table index of each mesh entry before it is read, and with the table's size once
// the entries are done, so that a front end can say which entry the messages that follow concern.
using MeshEntryStarted = std::function<void(size_t index)>;

// "Export Single VRML File": entry `index` as a complete document at `path`, named after the entry.
// An index outside the table, an entry that is not a mesh (type 17), or one that cannot be read or
// decoded reports the reader's or decoder's message, then "VRML Export error", and writes nothing.
bool ExportEntryVRML(const std::vector<TMAS_FileEntry>& table, size_t index, const MeshEntryReader& read,
                     const std::string& path, const std::string& date, const MeshReport& report);

struct CombinedVRMLResult {
  enum class Status {
    NoEntries,   // empty table: nothing written, nothing reported
    NoMeshes,    // no entry of type 17: "This MAS file does not contain any MTS objects" reported
    Unfinished,  // the file could not be written whole; any file that was at the path is kept
    Complete,    // header, every mesh that could be written, closing lines
  };
  Status status = Status::NoEntries;
  int MeshEntries = 0;  // entries of type 17
  int Written = 0;      // mesh blocks in the file
};

// "Roll all MTS objects in one VRML File": every mesh entry in table order under one MASTER node.
// An entry that cannot be read or decoded is reported and left out, and the export goes on; the
// file is still closed with its closing lines. A file failure (a full disk) stops the export. The document is
// written beside the path and takes its place only when complete.
CombinedVRMLResult ExportAllMeshesVRML(const std::vector<TMAS_FileEntry>& table, const MeshEntryReader& read,
                                       const std::string& path, const std::string& date, const MeshReport& report,
                                       const MeshEntryStarted& started = {});

}  // namespace kestrel
