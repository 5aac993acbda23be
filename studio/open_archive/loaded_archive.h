// The open archive as the engine's rewrites and extractions take it.
#pragma once

#include "archive/archive_reader.h"
#include "studio/open_archive/archive_state.h"

namespace kestrel::studio {

inline LoadedArchive LoadedFrom(const OpenArchiveState& state) {
  LoadedArchive archive;
  archive.Path = state.ArchivePath;
  archive.Header = state.Header;
  archive.Table = state.Table;
  archive.DataStart = state.DataStart;
  archive.FileLength = state.FileLength;
  return archive;
}

}  // namespace kestrel::studio
