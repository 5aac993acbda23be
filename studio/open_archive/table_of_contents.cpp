#include "studio/open_archive/table_of_contents.h"

#include <cstdio>
#include <vector>

#include "archive/file_io.h"
#include "archive/file_replacement.h"

namespace kestrel::studio {

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  const int length = std::snprintf(nullptr, 0, format, args...);
  if (length <= 0) return {};
  std::vector<char> buffer(static_cast<size_t>(length) + 1);
  std::snprintf(buffer.data(), buffer.size(), format, args...);
  return std::string(buffer.data(), static_cast<size_t>(length));
}

}  // namespace

std::string FormatTableOfContents(const std::string& archiveFileName, const OpenArchiveState& state) {
  std::string out = "Dumping " + archiveFileName + " with " + std::to_string(state.FileCount()) + " files.\r\n";
  out += "\r\n";
  out += Format("      %-24s %12s %12s %12s %12s %12s", "Name", "Startpos", "Uncompr", "Compr", "Unk", "Filetype");
  out += "\r\n\r\n";
  for (size_t i = 0; i < state.Table.size(); ++i) {
    const TMAS_FileEntry& e = state.Table[i];
    const long long start = static_cast<long long>(state.DataStart) + e.Offset;
    out += Format("%4d: %-24s %12lld %12d %12d %12d %12d", static_cast<int>(i + 1), e.Name().c_str(), start,
                  e.UncompressedSize, e.CompressedSize, e.Unknown, e.FileType);
    out += "\r\n";
  }
  return out;
}

int WriteListingFile(const std::string& path, const std::string& text) {
  try {
    // A listing the user kept from an earlier open is replaced whole or not at all.
    ReplaceFileContents(path, text.data(), text.size());
  } catch (const EInOutError& e) {
    return e.SystemCode();
  }
  return 0;
}

}  // namespace kestrel::studio
