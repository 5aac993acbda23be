// The developer's text dump of a 4.10 mesh: everything the decoder found, with the stored offsets
// also shown as absolute positions in the file, so that the layout can be studied.
#pragma once

#include <string>

#include "studio/mesh/mts_types.h"

namespace kestrel {

// The dump's text, lines ending in CR LF. `decimalSeparator` (the user's locale's) separates the
// decimals of every real number.
std::string MTSDumpText(const TMTS410& mesh, const std::string& decimalSeparator);

// Writes MTSDumpText to `path`, creating or replacing the file; returns true. A file that cannot
// be created or written throws EInOutError, and any old file at the path stays as it was.
bool WriteMTSDump(const std::string& path, const TMTS410& mesh, const std::string& decimalSeparator);

// Where the dump of the mesh at `meshPath` goes: the extension replaced by ".txt", or appended.
std::string MTSDumpPath(const std::string& meshPath);

}  // namespace kestrel
