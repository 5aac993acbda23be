// How kestrel-cli commands load an archive and read its entries, and how they name one entry: its
// name, compared ignoring letter case, or "#N" for the 0-based position in the table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_reader.h"

namespace kestrel::cli {

// Loads the archive's table, or reports the file error (see Fail) and returns nothing.
std::optional<LoadedArchive> LoadArchiveOrReport(const std::string& path);

// The decoded bytes of entry `index` of `archive`, which must outlive the reader. Throws what
// reading and decompressing throw.
std::function<std::vector<uint8_t>(size_t index)> EntryReader(const LoadedArchive& archive);

// The table position that `argument` names. A missing entry, a position out of range and a name
// that several entries share are reported (the latter with their positions, so that "#N" can pick
// one) and give nothing.
std::optional<size_t> ResolveEntryArgument(const LoadedArchive& archive, const std::string& argument);

}  // namespace kestrel::cli
