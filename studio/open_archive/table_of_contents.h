// The table-of-contents listing written beside an archive: "NAME.log", CRLF lines.
#pragma once

#include <string>

#include "studio/open_archive/archive_state.h"

namespace kestrel::studio {

// The whole listing: a title line, column titles and one line per entry in table order, each
// line ended by "\r\n". Names are never cut; start positions are absolute file positions.
std::string FormatTableOfContents(const std::string& archiveFileName, const OpenArchiveState& state);

// Creates or replaces `path` with `text` (an old file stays whole until the new one is complete):
// 0, or the errno of the failed create or write.
int WriteListingFile(const std::string& path, const std::string& text);

}  // namespace kestrel::studio
