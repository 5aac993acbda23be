// VRML 2.0 text for decoded meshes of either layout, and the pieces of a combined file.
//
// Numbers always use "." whatever the process locale, and the process locale is never touched.
// Triangles that break the pairing rules (an object number without an object header, a corner past
// that object's vertices) are left out; nothing outside the decoded lists is read.
#pragma once

#include <ctime>
#include <string>

#include "studio/mesh/mts_decoder.h"
#include "studio/mesh/mts_types.h"

namespace kestrel {

inline constexpr char kVRMLProgramName[] = "Kestrel";
inline constexpr char kVRMLProgramVersion[] = "1.42";

// "ddd mmm dd hh:nn:ss yyyy" with English day and month abbreviations ("Tue Mar 04 09:05:07 2003").
// Callers that want another language's names pass their own text as the date instead.
std::string FormatVRMLDate(const std::tm& time);

// The header of a document holding one mesh, up to the MASTER node's "children [" line.
std::string VRMLDocumentHeader(const std::string& date);
// The combined export's header: as above, with a zero translation on the MASTER node.
std::string VRMLCombinedHeader(const std::string& date);
// The two lines that close the MASTER node.
std::string VRMLClosingLines();

// One mesh as a Transform node named `objectName`, one child per material.
std::string MeshVRMLBlock(const std::string& objectName, const TMTS410& mesh);
std::string MeshVRMLBlock(const std::string& objectName, const TMTS& mesh);

// With `append` false: creates or replaces `path` with a complete document dated `date`; the old
// file stays whole until the new one is complete.
// With `append` true: adds the mesh block to the end of the existing file (`date` is unused).
// A file failure is reported with its text and the path and gives false.
bool WriteMeshVRML(const std::string& path, const std::string& objectName, const TMTS410& mesh, bool append,
                   const std::string& date, const MeshReport& report);
bool WriteMeshVRML(const std::string& path, const std::string& objectName, const TMTS& mesh, bool append,
                   const std::string& date, const MeshReport& report);

}  // namespace kestrel
